#include "base/FileHelpers.h"
#include "base/InputBounds.h"
#include "base/XmlHelpers.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "base/XmlResources.h"
#include "testsupport/FileSizeLimit.h"
#include "testsupport/TestFolder.h"

namespace {

const char kTemplate[] =
    "<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
    "<Root><Sign>KVT</Sign>"
    "<General><Typ>1</Typ><Name>old</Name><Name>second</Name><Empty/><Note><!--c-->x</Note></General>"
    "<Template><a>1</a><b/></Template></Root>";

class XmlHelpersTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(xml_parse_text(document, kTemplate)); }

    std::string PathText(const char* path, const char* def = "<default>")
    {
        std::string text;
        xml_get_path_text(text, &document, path, def);
        return text;
    }

    TiXmlDocument document;
};

TEST_F(XmlHelpersTest, FindPathFollowsFirstChildOfEachName)
{
    const TiXmlElement* name = xml_find_path(&document, "Root.General.Name");
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name->GetText(), "old");
    EXPECT_EQ(xml_find_path_c(&document, "Root.General"), document.RootElement()->FirstChildElement("General"));

    for (const char* missing : {"Root..Name", "", ".", "Root.", ".Root", "Root.Missing", "root.General",
                                "Root.General.Name.Deeper"})
        EXPECT_EQ(xml_find_path(&document, missing), nullptr) << '"' << missing << '"';
    EXPECT_EQ(xml_find_path_c(&document, nullptr), nullptr);
    EXPECT_EQ(xml_find_path(static_cast<TiXmlNode*>(nullptr), "Root"), nullptr);
}

TEST_F(XmlHelpersTest, PathTextGivesTextPrintedChildOrDefault)
{
    EXPECT_EQ(PathText("Root.General.Typ"), "1");
    EXPECT_EQ(PathText("Root.Sign"), "KVT");
    EXPECT_EQ(PathText("Root.General.Empty"), "");
    EXPECT_EQ(PathText("Root.General.Note"), "");  // first child is a comment
    EXPECT_EQ(PathText("Root.Missing"), "<default>");
    EXPECT_EQ(PathText("Root.Template"), "<a>1</a>\n");
    EXPECT_EQ(PathText("Root.General"), "<Typ>1</Typ>\n");

    std::string text = "stale";
    xml_get_path_text_c(text, &document, "Root.Nothing", nullptr);
    EXPECT_EQ(text, "");
}

TEST_F(XmlHelpersTest, InnerXmlReplacesChildren)
{
    struct InnerCase
    {
        const char* text;
        const char* printed;  // the element after the change
    };
    const InnerCase cases[] = {
        {"plain title", "<Name>plain title</Name>\n"},
        {"", "<Name></Name>\n"},
        {"Tom & Jerry <3", "<Name>Tom &amp; Jerry &lt;3</Name>\n"},
        {"<x/><y/>", "<Name>\n    <x />\n    <y />\n</Name>\n"},
        {"<?xml version=\"1.0\"?><!--dropped--><x>1</x><!--kept--><y/>",
         "<Name>\n    <x>1</x>\n    <!--kept-->\n    <y />\n</Name>\n"},
        // Not well-formed: what the parser built before the fault is taken, so a
        // body that lost its closing line keeps its elements.
        {"<b>bold", "<Name>\n    <b>bold</b>\n</Name>\n"},
        {"<Object>\r\n\t<Zone id=\"1\">x</Zone>\r\n\t<Zone id=\"2\"/>",
         "<Name>\n    <Object>\n        <Zone id=\"1\">x</Zone>\n        <Zone id=\"2\" />\n    </Object>\n</Name>\n"},
    };
    for (const InnerCase& c : cases) {
        TiXmlElement* name = xml_find_path(&document, "Root.General.Name");
        ASSERT_NE(name, nullptr);
        xml_set_inner_xml(name, c.text);
        std::string printed;
        xml_node_to_text(name, printed);
        EXPECT_EQ(printed, c.printed) << c.text;
    }
    TiXmlElement* name = xml_find_path(&document, "Root.General.Name");
    xml_set_inner_xml(name, "only text");
    ASSERT_NE(name->FirstChild(), nullptr);
    EXPECT_EQ(name->FirstChild(), name->LastChild());
    EXPECT_STREQ(name->FirstChild()->ToText()->Value(), "only text");
}

TEST_F(XmlHelpersTest, InnerXmlAtResolvesThePath)
{
    EXPECT_TRUE(xml_set_inner_xml_at(&document, "Root.Template", "<c>3</c>"));
    EXPECT_TRUE(xml_set_inner_xml_at_c(&document, "Root.General.Name", "new"));
    EXPECT_FALSE(xml_set_inner_xml_at(&document, "Root.Nope", "x"));
    EXPECT_FALSE(xml_set_inner_xml_at_c(&document, nullptr, "x"));
    EXPECT_EQ(PathText("Root.Template"), "<c>3</c>\n");
    EXPECT_EQ(PathText("Root.General.Name"), "new");
    // Only the first Name changed.
    EXPECT_STREQ(xml_find_path(&document, "Root.General")->LastChild("Name")->ToElement()->GetText(), "second");
}

TEST_F(XmlHelpersTest, NodeToTextIndentsFourBlanks)
{
    std::string text;
    xml_node_to_text(xml_find_path(&document, "Root.General"), text);
    EXPECT_EQ(text,
              "<General>\n    <Typ>1</Typ>\n    <Name>old</Name>\n    <Name>second</Name>\n"
              "    <Empty />\n    <Note>\n        <!--c-->\n        x\n    </Note>\n</General>\n");
    xml_node_to_text(nullptr, text);
    EXPECT_EQ(text, "");
}

TEST(XmlVar, SuffixNamesTheElement)
{
    TiXmlElement record("object");
    xml_set_var(&record, "ID", "1");
    xml_set_var(&record, "ID", "2", "x");
    EXPECT_TRUE(xml_set_var_int(&record, "Neg", -5));
    EXPECT_TRUE(xml_set_var_ulong(&record, "Big", 0xFFFFFFFFu));
    std::string value;
    xml_get_var(value, &record, "ID");
    EXPECT_EQ(value, "1");
    xml_get_var(value, &record, "ID", "x");
    EXPECT_EQ(value, "2");
    EXPECT_STREQ(record.FirstChildElement("varx")->Attribute("name"), "ID");
    EXPECT_EQ(xml_get_var_int(&record, "Neg"), -5);
    EXPECT_EQ(xml_get_var_short(&record, "Neg"), -5);
    EXPECT_EQ(xml_get_var_int(&record, "Big"), -1);
    EXPECT_STREQ(record.LastChild()->ToElement()->GetText(), "4294967295");
    xml_get_var(value, nullptr, "ID");
    EXPECT_EQ(value, "");
}

TEST(XmlText, ConvertsOnlyNonAsciiInUtf8Documents)
{
    TiXmlDocument utf8;
    utf8.LinkEndChild(new TiXmlDeclaration("1.0", "Utf-8", ""));
    TiXmlElement* root = new TiXmlElement("r");
    utf8.LinkEndChild(root);
    TiXmlText* text = new TiXmlText("");
    root->LinkEndChild(text);

    xml_set_text(text, "\xE0\xE1");  // "аб" in 1251
    EXPECT_EQ(text->ValueStr(), "\xD0\xB0\xD0\xB1");
    std::string back;
    xml_get_text(text, back);
    EXPECT_EQ(back, "\xE0\xE1");

    xml_set_text(text, "ascii");
    EXPECT_EQ(text->ValueStr(), "ascii");

    // Outside a document, or after a non-declaration first child: bytes as they are.
    TiXmlText loose("");
    xml_set_text(&loose, "\xE0\xE1");
    EXPECT_EQ(loose.ValueStr(), "\xE0\xE1");
    TiXmlDocument commented;
    commented.LinkEndChild(new TiXmlComment("c"));
    commented.LinkEndChild(new TiXmlDeclaration("1.0", "utf-8", ""));
    TiXmlElement* r = new TiXmlElement("r");
    commented.LinkEndChild(r);
    TiXmlText* t = new TiXmlText("");
    r->LinkEndChild(t);
    xml_set_text(t, "\xE0\xE1");
    EXPECT_EQ(t->ValueStr(), "\xE0\xE1");
}

class XmlFiles : public ::testing::Test
{
protected:
    TestFolder temp;
    const std::string folder = temp.Folder();
};

TEST_F(XmlFiles, SaveCreatesFoldersAndLoadReadsBack)
{
    TiXmlDocument document;
    ASSERT_TRUE(xml_parse_text(document, kTemplate));
    const std::string path = folder + "/Xml/Templates/Objects/t.xml";
    EXPECT_TRUE(xml_save_file(document, path));

    TiXmlDocument loaded;
    ASSERT_TRUE(xml_load_file(loaded, path));
    EXPECT_EQ(loaded.ValueStr(), path);
    std::string sign;
    xml_get_path_text(sign, &loaded, "Root.Sign", "");
    EXPECT_EQ(sign, "KVT");
}

TEST_F(XmlFiles, FailuresAreReported)
{
    TiXmlDocument document;
    ASSERT_TRUE(xml_parse_text(document, "<r/>"));
    // A regular file where a folder is needed.
    std::ofstream(folder + "/file") << "x";
    EXPECT_FALSE(xml_save_file(document, folder + "/file/inner/t.xml"));
    EXPECT_FALSE(xml_save_file(document, folder));

    // A disk that takes the open and refuses the data: the close tells.
    {
        FileSizeLimit full(2);
        EXPECT_FALSE(xml_save_file(document, folder + "/full.xml"));
    }
    // Neither a FIFO nor a device is written to, nor waited on.
    ASSERT_EQ(::mkfifo((folder + "/fifo.xml").c_str(), 0600), 0);
    EXPECT_FALSE(xml_save_file(document, folder + "/fifo.xml"));
    EXPECT_FALSE(xml_save_file(document, "/dev/null"));

    TiXmlDocument loaded;
    EXPECT_FALSE(xml_load_file(loaded, folder + "/missing.xml"));
    std::ofstream(folder + "/broken.xml") << "<r><unclosed></r>";
    EXPECT_FALSE(xml_load_file(loaded, folder + "/broken.xml"));
    // A folder named like a document is not one.
    ASSERT_TRUE(create_directories(folder + "/folder.xml"));
    EXPECT_FALSE(xml_load_file(loaded, folder + "/folder.xml"));
}

TEST(XmlParse, TextAndResources)
{
    TiXmlDocument document;
    EXPECT_FALSE(xml_parse_text(document, ""));
    EXPECT_FALSE(xml_parse_text(document, "<a><b></a>"));
    ASSERT_TRUE(xml_parse_text(document, "<a/>"));
    ASSERT_TRUE(xml_parse_text(document, "<b/>"));
    // Parsing replaces what the document held.
    EXPECT_EQ(document.FirstChild(), document.LastChild());
    EXPECT_STREQ(document.FirstChild()->Value(), "b");

    EXPECT_FALSE(xml_parse_resource(document, 9999));
}

TEST(XmlParse, ExactTextKeepsTheWhiteSpaceOfTextOnlyElements)
{
    struct Case
    {
        const char* what;
        std::string content;  // between <v> and </v>
        std::string read;     // the text child's value; "<none>" when there is none
    };
    const Case cases[] = {
        {"leading, trailing and repeated blanks", "  two  spaces  ", "  two  spaces  "},
        {"blanks only", "   ", "   "},
        {"white space of every kind", " \t\r\n\v\f", " \t\r\n\v\f"},
        {"references stay what they stand for", "&#32;a&#x09;&lt; &amp;", " a\t< &"},
        {"a value that starts with the mark's byte", "&#1;x", "\x01x"},
        {"an empty element still has no text", "", "<none>"},
        // Only text alone is kept whole; mixed content parses as before.
        {"text beside an element", "  a  b  <w/>", "a b"},
        {"a CDATA section", "<![CDATA[  c  ]]>", "  c  "},
        {"a comment", "<!-- x --> y ", "<none>"},
        // TinyXML reads a broken reference up to the next ";": nothing is protected.
        {"a broken reference", "  x&#a &#32;y  ", "x y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = "<?xml version=\"1.0\"?>\r\n<list a='>  x  '>\r\n  <v b=\"/>\">" + c.content +
                                 "</v>\r\n  <e />\r\n</list>\r\n";
        TiXmlDocument document;
        ASSERT_TRUE(xml_parse_exact_text(document, text));
        const TiXmlElement* list = document.FirstChildElement("list");
        ASSERT_NE(list, nullptr);
        // Attributes and the white space between elements are as TinyXML reads them.
        EXPECT_STREQ(list->Attribute("a"), ">  x  ");
        EXPECT_EQ(list->FirstChild(), list->FirstChildElement("v"));
        const TiXmlNode* value = list->FirstChildElement("v")->FirstChild();
        const TiXmlText* valueText = value != nullptr ? value->ToText() : nullptr;
        EXPECT_EQ(valueText != nullptr ? valueText->ValueStr() : std::string("<none>"), c.read);
        EXPECT_EQ(list->FirstChildElement("e")->FirstChild(), nullptr);
    }
    // A host's text above the largest XML file read is refused before its copy is made.
    TiXmlDocument document;
    EXPECT_FALSE(xml_parse_exact_text(document, "<a>" + std::string(kMaxXmlFileSize, ' ') + "</a>"));
}

TEST(XmlParse, ATextEndingInsideAUtf8SequenceEndsThere)
{
    // TinyXML steps over the whole sequence a lead byte announces; what follows
    // the text in memory (here the rest of a shortened string's own buffer, which
    // would close the attribute and the element) must not be read.
    std::string text = "<a b='\xf4ZZZ'/>";
    text.resize(7);
    TiXmlDocument document;
    xml_parse(document, text, TIXML_ENCODING_UTF8);
    EXPECT_TRUE(document.Error());
}

TEST_F(XmlFiles, TemplateSkeletonFilledAndSaved)
{
    CXmlHelper helper;
    TiXmlDocument& document = *helper.GetDocument();
    ASSERT_TRUE(xml_parse_resource(document, kResourceScheduleTemplate));
    std::string typ;
    xml_get_path_text(typ, &document, "Root.General.Typ", "");
    EXPECT_EQ(typ, "2");
    ASSERT_TRUE(xml_set_inner_xml_at(&document, "Root.Template", "<Item Id=\"1\"/>"));
    ASSERT_TRUE(xml_set_inner_xml_at(&document, "Root.General.Name", "\xCD\xEE\xF7\xFC"));  // 1251

    const std::string path = folder + "/Schedules/night.xml";
    ASSERT_TRUE(xml_save_file(document, path));
    TiXmlDocument loaded;
    ASSERT_TRUE(xml_load_file(loaded, path));
    std::string name;
    std::string body;
    xml_get_path_text(name, &loaded, "Root.General.Name", "");
    xml_get_path_text(body, &loaded, "Root.Template", "");
    EXPECT_EQ(name, "\xCD\xEE\xF7\xFC");
    EXPECT_EQ(body, "<Item Id=\"1\" />\n");
}

} // namespace
