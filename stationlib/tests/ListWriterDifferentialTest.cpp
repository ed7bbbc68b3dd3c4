// The list documents written without a tree must be the bytes TinyXML prints
// for the same records built as a tree: generated records, every escaped
// character and every byte value in names and keys, rendered both ways.

#include "client/CMS_HelperClientLib.h"

#include "archive/CFieldArchive.h"
#include "records/CMS_ObjectData.h"
#include "records/CMS_ObjectSensorData.h"
#include "records/CMS_SimpleEventData.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// A record of free keys and texts, to reach keys no station record has.
class KeyedRecord : public CObjectStoreXmlHelper
{
public:
    std::vector<std::pair<std::string, std::string>> vars;
    bool fails = false;

    bool Load(CFieldArchive*, int) override { return false; }
    bool Save(CFieldArchive* archive) const override
    {
        for (const auto& var : vars)
            archive->SetString(var.first.c_str(), var.second);
        return !fails;
    }
    std::unique_ptr<CObjectStoreXmlHelper> CreateNew() const override { return std::make_unique<KeyedRecord>(); }
    std::string GetStoreFileName() const override { return std::string(); }
};

class ListWriterDifferential : public ::testing::Test
{
protected:
    // Markup, the printer's pass-through of "&#x", control bytes, NUL (which
    // ends a text) and any other byte.
    std::string GenerateText()
    {
        static const char* const pieces[] = {"&", "<", ">", "\"", "'", "&#x41;", "&#x", "\r\n", "\t", "\xCF\xF0"};
        std::string text;
        for (int n = Pick(0, 12); n > 0; --n) {
            if (Pick(0, 2) == 0)
                text += pieces[Pick(0, 9)];
            else
                text += static_cast<char>(Pick(0, 255));
        }
        return text;
    }

    CMS_SimpleEventData GenerateEvent()
    {
        CMS_SimpleEventData event;
        event.ID = Pick(INT32_MIN, INT32_MAX);
        event.SubType = static_cast<int16_t>(Pick(INT16_MIN, INT16_MAX));
        event.Info = GenerateText();
        event.SourceType = static_cast<uint8_t>(Pick(0, 255));
        event.SetDataSize(Pick(-1, 6));
        for (uint8_t& byte : event.Data)
            byte = static_cast<uint8_t>(Pick(0, 255));
        event.DateTime = {static_cast<uint8_t>(Pick(0, 255)), static_cast<uint8_t>(Pick(0, 255))};
        return event;
    }

    int32_t Pick(int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(m_random); }

    // Both renderings of the list, compared byte for byte.
    void ExpectSameBytes(const std::vector<const CObjectStoreXmlHelper*>& records, const std::string& tag)
    {
        EXPECT_EQ(CMS_HelperClientLib::BuildListXml(records, tag), CMS_HelperClientLib::BuildListXmlTree(records, tag));
    }

private:
    std::mt19937 m_random{20261209};
};

TEST_F(ListWriterDifferential, GeneratedEventsAndListsPrintAsTheTree)
{
    for (int round = 0; round < 2000; ++round) {
        const CMS_SimpleEventData event = GenerateEvent();
        ExpectSameBytes({&event}, "event");
    }
    for (int round = 0; round < 200; ++round) {
        std::vector<CMS_ObjectData> objects(static_cast<size_t>(Pick(0, 4)));
        std::vector<CMS_ObjectSensorData> sensors(objects.size());
        std::vector<const CObjectStoreXmlHelper*> objectList, sensorList;
        for (size_t n = 0; n < objects.size(); ++n) {
            objects[n].ID = Pick(INT32_MIN, INT32_MAX);
            objects[n].Name = GenerateText();
            sensors[n].Name = GenerateText();
            objectList.push_back(&objects[n]);
            sensorList.push_back(&sensors[n]);
        }
        ExpectSameBytes(objectList, "object");
        ExpectSameBytes(sensorList, "sensor");
    }
}

TEST_F(ListWriterDifferential, EveryByteInNamesAndKeysPrintsAsTheTree)
{
    for (int byte = 1; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        const std::string alone = std::string("a") + static_cast<char>(byte) + "z";
        const std::string entity = std::string("&#x") + static_cast<char>(byte);
        CMS_SimpleEventData event;
        event.Info = alone;
        ExpectSameBytes({&event}, "event");
        KeyedRecord keyed;
        keyed.vars = {{alone, entity}, {entity, alone}, {"plain", ""}};
        ExpectSameBytes({&keyed}, "keyed");
    }
}

TEST_F(ListWriterDifferential, RecordsTheWriterLeavesToTheTreeStillMatch)
{
    KeyedRecord repeated;  // the tree updates the first var of a repeated key
    repeated.vars = {{"A", "1"}, {"B", "2"}, {"A", "3"}};
    KeyedRecord empty;
    KeyedRecord failing;
    failing.fails = true;
    const struct
    {
        const char* what;
        std::vector<const CObjectStoreXmlHelper*> records;
        std::string tag;
    } cases[] = {
        {"repeated key", {&empty, &repeated}, "keyed"},
        {"record without fields", {&empty}, "keyed"},
        {"failing record", {&repeated, &failing}, "keyed"},
        {"null record", {&empty, nullptr}, "keyed"},
        {"tag the skeleton breaks", {&empty}, "a b"},
        {"empty tag", {&empty}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectSameBytes(c.records, c.tag);
    }
}

} // namespace
