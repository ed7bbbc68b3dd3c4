#include "base/XmlResources.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>
#include <vector>

#include "testsupport/TestFolder.h"

namespace {

// Parses a resource and checks its declaration.
void parse_resource(int id, TiXmlDocument& document)
{
    std::string text;
    ASSERT_TRUE(load_xml_resource(id, text));
    EXPECT_EQ(text.find('\0'), std::string::npos);
    document.Parse(text.c_str());
    ASSERT_FALSE(document.Error()) << document.ErrorDesc();
    const TiXmlDeclaration* declaration = document.FirstChild()->ToDeclaration();
    ASSERT_NE(declaration, nullptr);
    EXPECT_STREQ(declaration->Version(), "1.0");
    EXPECT_STREQ(declaration->Encoding(), "windows-1251");
    EXPECT_STREQ(declaration->Standalone(), "no");
}

const char* child_text(const TiXmlElement* parent, const char* name)
{
    const TiXmlElement* child = parent->FirstChildElement(name);
    return child != nullptr && child->GetText() != nullptr ? child->GetText() : "";
}

TEST(XmlResources, DefaultSettings)
{
    TiXmlDocument document;
    parse_resource(kResourceDefaultSettings, document);
    const TiXmlElement* sections = document.FirstChildElement("sections");
    ASSERT_NE(sections, nullptr);
    const TiXmlElement* section = sections->FirstChildElement("section");
    ASSERT_NE(section, nullptr);
    EXPECT_STREQ(section->Attribute("Name"), "Main");
    EXPECT_EQ(section->NextSiblingElement("section"), nullptr);

    const char* expected[][2] = {{"ServerHost", "localhost"}, {"ServerPort", "5000"}, {"UserName", "pelto"}};
    const TiXmlElement* param = section->FirstChildElement("param");
    for (const auto& pair : expected) {
        ASSERT_NE(param, nullptr);
        EXPECT_STREQ(param->Attribute("Name"), pair[0]);
        EXPECT_STREQ(param->Attribute("Value"), pair[1]);
        param = param->NextSiblingElement("param");
    }
    EXPECT_EQ(param, nullptr);
}

TEST(XmlResources, TemplateSkeletonsCarryTheirCyrillicNames)
{
    struct Case
    {
        int id;
        const char* typ;
        const char* name;  // Windows-1251
    };
    const Case cases[] = {
        {kResourceObjectTemplate, "1", "\xD8\xE0\xE1\xEB\xEE\xED \xEE\xE1\xFA\xE5\xEA\xF2\xE0"},  // "Шаблон объекта"
        {kResourceScheduleTemplate, "2", "\xD8\xE0\xE1\xEB\xEE\xED \xF0\xE0\xF1\xEF\xE8\xF1\xE0\xED\xE8\xFF"},  // "Шаблон расписания"
    };
    for (const Case& c : cases) {
        TiXmlDocument document;
        parse_resource(c.id, document);
        const TiXmlElement* root = document.RootElement();
        ASSERT_NE(root, nullptr);
        EXPECT_STREQ(root->Value(), "Root");
        EXPECT_STREQ(child_text(root, "Sign"), "SelvoTemplate");
        EXPECT_STREQ(child_text(root, "Version"), "1.0");
        const TiXmlElement* general = root->FirstChildElement("General");
        ASSERT_NE(general, nullptr);
        EXPECT_STREQ(child_text(general, "Typ"), c.typ);
        EXPECT_STREQ(child_text(general, "Name"), c.name);
        const TiXmlElement* templ = root->FirstChildElement("Template");
        ASSERT_NE(templ, nullptr);
        EXPECT_EQ(templ->FirstChild(), nullptr);
        // Sign, Version, General, Template in this order.
        const char* order[] = {"Sign", "Version", "General", "Template"};
        const TiXmlElement* element = root->FirstChildElement();
        for (const char* name : order) {
            ASSERT_NE(element, nullptr);
            EXPECT_STREQ(element->Value(), name);
            element = element->NextSiblingElement();
        }
        EXPECT_EQ(element, nullptr);
    }
}

TEST(XmlResources, MissingIdLeavesTheTextAlone)
{
    std::string text = "unchanged";
    for (int id : {0, 229, 233, -1})
        EXPECT_FALSE(load_xml_resource(id, text)) << id;
    EXPECT_EQ(text, "unchanged");
}

TEST(ResourceFiles, WriteHonoursTheOverwriteFlag)
{
    TestFolder temp;
    std::string resource;
    ASSERT_TRUE(load_xml_resource(kResourceObjectTemplate, resource));
    const std::string path = temp.Path("Object.xml");

    EXPECT_TRUE(write_resource_file(kResourceObjectTemplate, path, false));
    EXPECT_EQ(temp.Read("Object.xml"), resource);

    temp.Write("Object.xml", "edited");
    EXPECT_TRUE(write_resource_file(kResourceObjectTemplate, path, false));
    EXPECT_EQ(temp.Read("Object.xml"), "edited");

    EXPECT_TRUE(write_resource_file(kResourceObjectTemplate, path, true));
    EXPECT_EQ(temp.Read("Object.xml"), resource);

    EXPECT_FALSE(write_resource_file(999, temp.Path("none.xml"), true));
    EXPECT_EQ(temp.Entries(), std::vector<std::string>{"Object.xml"});
    EXPECT_FALSE(write_resource_file(kResourceDefaultSettings, temp.Path("no/folder.xml"), true));
}

} // namespace
