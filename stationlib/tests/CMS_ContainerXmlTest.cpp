#include "dictionaries/CMS_ContainerXml.h"

#include <gtest/gtest.h>
#include <tinyxml.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/CByteStream.h"
#include "base/XmlHelpers.h"
#include "base/XmlResources.h"
#include "ConfigTestFolder.h"
#include "dictionaries/CMS_ConstTemplates.h"
#include "DictionaryDocuments.h"
#include "testsupport/ChildProcess.h"
#include "ZipArchiveBuilder.h"

namespace {

namespace fs = std::filesystem;

std::string document_text(const std::string& sign, const std::string& typ, const std::string& name)
{
    return "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"no\" ?>\n<Root><Sign>" + sign +
           "</Sign><General><Typ>" + typ + "</Typ><Name>" + name + "</Name></General></Root>\n";
}

std::string name_of(const CMS_ContainerXml::Document& document)
{
    std::string name;
    xml_get_path_text_c(name, document.get(), "Root.General.Name", "");
    return name;
}

// Counts the refills that reach the virtual hook.
class CountingContainer : public CMS_ContainerXml
{
public:
    void Load() override { ++loads; }
    int loads = 0;
};

// The library folder of these tests is a fresh temporary folder.
class ContainerFolderTest : public ::testing::Test
{
protected:
    ConfigTestFolder temp;
    const fs::path root = temp.Folder();
};

TEST_F(ContainerFolderTest, KeepsTopLevelXmlFilesWithExactlyTheSign)
{
    const fs::path folder = root / "Xml" / "Consts";
    fs::create_directories(folder / "nested.xml");
    fs::create_directories(folder / "sub");
    temp.Write("Xml/Consts/a.xml", document_text("KvtSign", "5", "first"));
    temp.Write("Xml/Consts/B.XML", document_text("KvtSign", "5", "second"));
    temp.Write("Xml/Consts/c.xml", document_text("kvtsign", "6", "case differs"));
    temp.Write("Xml/Consts/d.xml", "<Root><Sign>KvtSign</Sign><General>");
    temp.Write("Xml/Consts/e.txt", document_text("KvtSign", "7", "not xml by name"));
    temp.Write("Xml/Consts/sub/f.xml", document_text("KvtSign", "8", "below the folder"));

    CMS_ContainerXml container;
    container.Init("KvtSign", "Xml/Consts", nullptr, false);
    EXPECT_EQ(container.GetFolder(), (folder / "").string());
    EXPECT_EQ(container.GetSign(), "KvtSign");

    const std::vector<CMS_ContainerXml::Document> documents = container.GetDocuments();
    ASSERT_EQ(documents.size(), 2u);
    // Two documents of one type: the first is found, the later one names the type.
    EXPECT_EQ(name_of(container.FindByType(5)), "first");
    EXPECT_EQ(container.GetNamesByType(), (std::map<int32_t, std::string>{{5, "second"}}));
    EXPECT_EQ(container.GetTypes(), (std::vector<int32_t>{5, 5}));
    EXPECT_EQ(container.FindByType(6), nullptr);

    // Reloading sees the folder as it is now.
    fs::remove(folder / "a.xml");
    container.LoadFolder();
    EXPECT_EQ(name_of(container.FindByType(5)), "second");
    EXPECT_EQ(container.GetTypes(), (std::vector<int32_t>{5}));
}

TEST_F(ContainerFolderTest, DefaultFilesAreWrittenWhenMissingOrWhenOverwriting)
{
    std::string resource;
    ASSERT_TRUE(load_xml_resource(kResourceObjectTemplate, resource));
    const CMS_ContainerXml::DefaultFile defaults[] = {{kResourceObjectTemplate, "object.xml"},
                                                      {kResourceScheduleTemplate, "schedule.xml"},
                                                      {0, nullptr}};
    const std::string kept = document_text("Other", "9", "kept");

    CMS_ConstTemplates templates;
    templates.Init(CMS_ConstTemplates::kSign, "Xml/Templates", defaults, false);
    EXPECT_EQ(temp.Read("Xml/Templates/object.xml"), resource);
    EXPECT_EQ(templates.GetTypes(), (std::vector<int32_t>{1, 2}));

    temp.Write("Xml/Templates/object.xml", kept);
    templates.EnsureDefaultFiles(false);
    EXPECT_EQ(temp.Read("Xml/Templates/object.xml"), kept);
    templates.EnsureDefaultFiles(true);
    EXPECT_EQ(temp.Read("Xml/Templates/object.xml"), resource);
}

TEST_F(ContainerFolderTest, TemplatesLoadTheirOwnFolderOnly)
{
    const fs::path folder = root / "Xml" / "Templates";
    fs::create_directories(folder / "Objects");
    temp.Write("Xml/Templates/top.xml", document_text("SelvoTemplate", "1", "top"));
    temp.Write("Xml/Templates/Objects/Gate.xml", document_text("SelvoTemplate", "1", "Gate"));

    CMS_ConstTemplates templates;
    templates.Load();
    EXPECT_EQ(templates.GetFolder(), (folder / "").string());
    EXPECT_EQ(templates.GetNamesByType(), (std::map<int32_t, std::string>{{1, "top"}}));
}

// ':' is an ordinary character of a Linux path, in a relative library folder as
// behind the root; "/x:y" runs in a child confined to the temporary folder.
TEST_F(ContainerFolderTest, PackagesImportFromFoldersNamedLikeDrives)
{
    ziptest::Archive archive;
    archive.entries = {ziptest::MakeEntry("main.xml", "<Object/>\r\n")};
    const std::string package = ziptest::Build(archive).bytes;
    const auto imports = [&package](const std::string& folder) {
        fs::create_directories(folder);
        ziptest::WriteFile(folder + "/Gate.ot", package);
        platform::set_module_path_override(folder + "/libArdentis.so");
        CMS_ConstTemplates templates;
        templates.Load();
        return fs::is_regular_file(folder + "/Xml/Templates/Objects/Gate.xml");
    };

    const fs::path previous = fs::current_path();
    fs::create_directories(root / "relative");
    fs::current_path(root / "relative");
    EXPECT_TRUE(imports("x:y"));
    fs::current_path(previous);

    fs::create_directories(root / "confined");
    const pid_t child = fork();
    if (child == 0) {
        if (chroot((root / "confined").c_str()) != 0 || chdir("/") != 0)
            _exit(2);
        _exit(imports("/x:y") ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    const int result = testsupport::wait_child(child, 20000);
    if (result == 2)
        GTEST_SKIP() << "cannot confine a child to the temporary folder";
    EXPECT_EQ(result, 0);
}

TEST(ContainerXmlTest, TypeNumberRule)
{
    struct Case
    {
        const char* typ;  // null: no Typ element
        bool has_type;
        int32_t type;
    };
    const Case cases[] = {
        {"5", true, 5},          {"-7", true, -7},         {"0012", true, 12},
        {"x1", true, 0},         {"1x", true, 0},          {"+5", true, 0},
        {"-", true, 0},          {"99999999999", true, 2147483647},
        {"", false, 0},          {nullptr, false, 0},
    };
    for (const Case& c : cases) {
        TiXmlDocument document;
        const std::string general =
            c.typ != nullptr ? std::string("<Typ>") + c.typ + "</Typ>" : std::string("<Name>n</Name>");
        ASSERT_TRUE(xml_parse_text(document, "<Root><General>" + general + "</General></Root>"));
        int32_t type = -12345;
        EXPECT_EQ(CMS_ContainerXml::GetDocumentType(&document, type), c.has_type) << (c.typ ? c.typ : "(none)");
        if (c.has_type) {
            EXPECT_EQ(type, c.type) << c.typ;
        }
    }

    // "x1" is found as type 0; an empty Typ is found by no type and not indexed.
    CMS_ContainerXml container;
    CByteStream stream;
    write_document_set(stream, 2, {document_text("", "x1", "letters"), document_text("", "", "empty")});
    ASSERT_TRUE(container.AddDocuments(&stream));
    EXPECT_EQ(name_of(container.FindByType(0)), "letters");
    EXPECT_EQ(container.GetTypes(), (std::vector<int32_t>{0}));
    EXPECT_EQ(container.GetDocuments().size(), 2u);
}

TEST(ContainerXmlTest, AddDocumentsReplacesTheSetAndRefills)
{
    CountingContainer container;
    CByteStream stream;
    write_document_set(stream, 3,
              {document_text("", "5", "five"), document_text("", "6", "six"), "<Root><General><Typ>7</Typ>"});
    ASSERT_TRUE(container.AddDocuments(&stream));
    EXPECT_EQ(container.loads, 1);
    EXPECT_EQ(container.GetDocuments().size(), 3u);  // the unparsable text stays as parsed so far
    EXPECT_EQ(name_of(container.FindByType(6)), "six");

    // A second fill replaces the first set whole.
    CByteStream second;
    write_document_set(second, 1, {document_text("", "9", "nine")});
    ASSERT_TRUE(container.AddDocuments(&second));
    EXPECT_EQ(container.loads, 2);
    EXPECT_EQ(container.FindByType(5), nullptr);
    EXPECT_EQ(container.GetTypes(), (std::vector<int32_t>{9}));

    // No stream, or no room for the count: nothing changes.
    EXPECT_FALSE(container.AddDocuments(nullptr));
    CByteStream short_count;
    ASSERT_TRUE(short_count.WriteInt16(1));
    short_count.Rewind();
    EXPECT_FALSE(container.AddDocuments(&short_count));
    EXPECT_EQ(container.GetDocuments().size(), 1u);
    EXPECT_EQ(container.loads, 2);

    // A count the stream cannot hold is read as far as it goes, never reserved.
    CByteStream huge;
    write_document_set(huge, 0x7FFFFFFF, {document_text("", "4", "four")});
    EXPECT_FALSE(container.AddDocuments(&huge));
    EXPECT_EQ(name_of(container.FindByType(4)), "four");
}

TEST(ContainerXmlTest, ShortStreamKeepsDocumentsReadButNotTheIndex)
{
    const std::string limit_text = [] {
        std::string text = document_text("", "3", "limit");
        text += std::string(CByteStream::kMaxStringLength - text.size(), ' ');
        return text;
    }();
    ASSERT_EQ(limit_text.size(), 65536u);

    struct Case
    {
        const char* what;
        std::vector<std::string> texts;  // written after a count of 3
        size_t kept;
    };
    const Case cases[] = {
        {"stream ends early", {document_text("", "5", "a"), document_text("", "6", "b")}, 2},
        {"text over the limit", {document_text("", "5", "a"), limit_text + " "}, 1},
        {"no text at all", {}, 0},
    };
    for (const Case& c : cases) {
        CountingContainer container;
        CByteStream before;
        write_document_set(before, 1, {document_text("", "8", "before")});
        ASSERT_TRUE(container.AddDocuments(&before));

        CByteStream stream;
        write_document_set(stream, 3, c.texts);
        EXPECT_FALSE(container.AddDocuments(&stream)) << c.what;
        EXPECT_EQ(container.GetDocuments().size(), c.kept) << c.what;
        EXPECT_EQ(container.GetTypes(), (std::vector<int32_t>{8})) << c.what;
        EXPECT_EQ(container.GetNamesByType(), (std::map<int32_t, std::string>{{8, "before"}})) << c.what;
        EXPECT_EQ(container.loads, 1) << c.what;
    }

    // A text of exactly the limit is read.
    CMS_ContainerXml container;
    CByteStream stream;
    write_document_set(stream, 1, {limit_text});
    ASSERT_TRUE(container.AddDocuments(&stream));
    EXPECT_EQ(name_of(container.FindByType(3)), "limit");
}

TEST(ContainerXmlTest, WrittenDocumentsReadBackTheSame)
{
    CMS_ContainerXml source;
    CByteStream stream;
    write_document_set(stream, 3,
              {document_text("", "5", "\xC4\xE0\xF2\xF7\xE8\xEA"), document_text("", "5", "again"),
               "<Root><General><Typ>2</Typ></General><Template><e id=\"1\" text=\"a&amp;b\"/></Template></Root>"});
    ASSERT_TRUE(source.AddDocuments(&stream));

    CByteStream written;
    ASSERT_TRUE(source.WriteDocuments(&written));
    written.Rewind();
    int32_t count = 0;
    ASSERT_TRUE(written.ReadInt32(count));
    EXPECT_EQ(count, 3);
    std::string first;
    ASSERT_TRUE(written.ReadString(first));
    EXPECT_EQ(first, source.GetDocumentText(5));

    written.Rewind();
    CMS_ContainerXml copy;
    ASSERT_TRUE(copy.AddDocuments(&written));
    EXPECT_EQ(copy.GetTypes(), source.GetTypes());
    EXPECT_EQ(copy.GetNamesByType(), source.GetNamesByType());
    for (int32_t type : {2, 5})
        EXPECT_EQ(copy.GetDocumentText(type), source.GetDocumentText(type)) << type;
    EXPECT_EQ(name_of(copy.FindByType(5)), "\xC4\xE0\xF2\xF7\xE8\xEA");
    EXPECT_EQ(copy.GetDocumentText(3), "");

    EXPECT_FALSE(source.WriteDocuments(nullptr));
    CMS_ContainerXml empty;
    CByteStream nothing;
    ASSERT_TRUE(empty.WriteDocuments(&nothing));
    EXPECT_EQ(nothing.GetLength(), 4);
}

TEST(ContainerXmlTest, FoundDocumentOutlivesARefill)
{
    CMS_ContainerXml container;
    CByteStream first;
    write_document_set(first, 1, {document_text("", "5", "old")});
    ASSERT_TRUE(container.AddDocuments(&first));
    const CMS_ContainerXml::Document held = container.FindByType(5);

    CByteStream second;
    write_document_set(second, 1, {document_text("", "6", "new")});
    ASSERT_TRUE(container.AddDocuments(&second));
    EXPECT_EQ(container.FindByType(5), nullptr);
    EXPECT_EQ(name_of(held), "old");
}

} // namespace
