#include "model/EventDictionary.h"

#include "support/BridgeLog.h"
#include "support/InputBounds.h"
#include "testsupport/ChildProcess.h"

#include "platform/ModulePath.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

using testsupport::read_file;
using testsupport::TempFolder;
using testsupport::write_file;

namespace {

class EventDictionaryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved_log = log_path();
        set_log_path(m_folder / "korvel-orvanta-client.log");
        platform::set_executable_path_override(m_folder / "korvel-orvanta-client");
        EventsDictionary.clear();
    }
    void TearDown() override
    {
        EventsDictionary.clear();
        platform::set_executable_path_override("");
        set_log_path(m_saved_log);
    }

    bool load(const std::string& xml)
    {
        write_file(m_folder / "dictionary_events_system.xml", xml);
        return load_events_dictionary(platform::executable_path());
    }

    // The text for (type, subtype), or "<miss>".
    static std::string text_of(int32_t type, int32_t sub_type)
    {
        KorvelEvent event;
        event.Type = type;
        event.SubType = sub_type;
        const bool found = lookup_event_text(event);
        if (!found)
        {
            EXPECT_TRUE(event.Text.empty());
        }
        return found ? event.Text : "<miss>";
    }

    TempFolder m_folder;
    std::string m_saved_log;
};

TEST_F(EventDictionaryTest, LoadsTextsByTypeAndSubType)
{
    ASSERT_TRUE(load(u8R"(<?xml version="1.0" encoding="utf-8"?>
<Root>
  <Template>
    <Param id="2">
      <Param id="4" text="Взятие под охрану"/>
      <Param id="5" text="Снятие с охраны"/>
      <Note id="6" text="not a subtype"/>
      <Param id="5" text="Снятие"/>
    </Param>
    <!-- sensor events -->
    <Param id=" 3 ">
      <Param id="9" text="Тревога"/>
    </Param>
    <Param id="7"/>
    <Group id="8"><Param id="1" text="not a type"/></Group>
    <Param id="3">
      <Param id="10" text=""/>
    </Param>
  </Template>
  <Other><Param id="9"><Param id="1" text="elsewhere"/></Param></Other>
</Root>
)"));
    EXPECT_EQ(u8"Взятие под охрану", text_of(2, 4));
    EXPECT_EQ(u8"Снятие", text_of(2, 5)); // the later entry wins
    EXPECT_EQ("<miss>", text_of(2, 6));
    EXPECT_EQ(u8"Тревога", text_of(3, 9));
    EXPECT_EQ("", text_of(3, 10)); // a second entry for a type adds to it
    EXPECT_EQ("<miss>", text_of(7, 0));
    EXPECT_EQ("<miss>", text_of(8, 1));
    EXPECT_EQ("<miss>", text_of(9, 1));
    EXPECT_EQ("<miss>", text_of(4, 4));
    EXPECT_EQ("load events dictionary " + (m_folder / "dictionary_events_system.xml") + "\n",
              read_file(m_folder / "korvel-orvanta-client.log"));
}

TEST_F(EventDictionaryTest, FaultsFailTheLoadKeepingEarlierEntries)
{
    const std::string head = R"(<Root><Template><Param id="2"><Param id="4" text="kept"/></Param>)";
    const std::string tail = "</Template></Root>";
    const struct
    {
        const char* what;
        std::string xml;
    } cases[] = {
        {"type id not a number", head + R"(<Param id="12a"><Param id="1" text="t"/></Param>)" + tail},
        {"type id missing", head + R"(<Param><Param id="1" text="t"/></Param>)" + tail},
        {"type id out of range", head + R"(<Param id="4294967295"/>)" + tail},
        {"subtype id not a number", head + R"(<Param id="3"><Param id="12a" text="t"/></Param>)" + tail},
        {"subtype id missing", head + R"(<Param id="3"><Param text="t"/></Param>)" + tail},
        {"text missing", head + R"(<Param id="3"><Param id="1"/></Param>)" + tail},
    };
    for (const auto& c : cases)
    {
        EventsDictionary.clear();
        EXPECT_FALSE(load(c.xml)) << c.what;
        EXPECT_EQ("kept", text_of(2, 4)) << c.what;
        EXPECT_EQ("<miss>", text_of(3, 1)) << c.what;
    }
}

TEST_F(EventDictionaryTest, UnreadableFileLeavesNoTextsAndTellsWhy)
{
    std::string deep = "<Root><Template>";
    for (int i = 0; i < 50000; ++i)
        deep += "<Param id=\"2\">";
    const struct
    {
        const char* what;
        std::string xml; // "-": no file at all; "-fifo", "-big": a FIFO, a file past the bound
        std::string reason;
    } cases[] = {
        {"missing file", "-", "cannot open the file: No such file or directory"},
        // No writer ever opens it: a read that waited for one would never end.
        {"FIFO", "-fifo", "not a regular file"},
        {"too large", "-big", "larger than " + std::to_string(kMaxDictionaryFileSize) + " bytes"},
        {"malformed XML", "<Root><Template><Param id=\"2\"><Param id=\"4\" text=\"x\"/></Template></Root>",
         "unexpected end of data at line 1"},
        {"no template", "<Root><Param id=\"2\"><Param id=\"4\" text=\"x\"/></Param></Root>",
         "No such node (Root.Template)"},
        {"other root", "<Dictionary><Template><Param id=\"2\"><Param id=\"4\" text=\"x\"/></Param></Template>"
                       "</Dictionary>", "No such node (Root.Template)"},
        {"id not a number", "<Root><Template><Param id=\"12a\"/></Template></Root>", "\"12a\" is not an int32"},
        {"nested too deep", deep, "elements nested deeper than 256 levels"},
    };
    for (const auto& c : cases)
    {
        EventsDictionary.clear();
        const std::string path = m_folder / "dictionary_events_system.xml";
        std::remove(path.c_str());
        if (c.xml == "-fifo") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else if (c.xml == "-big") {
            // Sparse, so it costs no disk space.
            write_file(path, "<Root>");
            ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kMaxDictionaryFileSize + 1)), 0);
        } else if (c.xml != "-") {
            write_file(path, c.xml);
        }
        std::string reason;
        EXPECT_FALSE(load_events_dictionary(platform::executable_path(), &reason)) << c.what;
        EXPECT_EQ(reason, c.reason) << c.what;
        EXPECT_EQ("<miss>", text_of(2, 4)) << c.what;
    }
}

} // namespace
