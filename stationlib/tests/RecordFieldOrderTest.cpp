// Every record kind's fields as the station's documentation lists them, typed
// here on their own: a byte form built from this list loads, saves back to the
// same bytes, and shows each value under its own key in the documents' order.
// A key typo, a field of the wrong width, or two fields of one width swapped
// all fail.

#include "StationRecordSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace record_test;

enum Kind { I32, I16, Str, Date, Data };

struct Field
{
    const char* key;
    Kind kind;
    // A string field's value on the wire, when the key's own would not come back.
    const char* text = nullptr;
};

template <class R>
std::unique_ptr<CObjectStoreXmlHelper> make()
{
    return std::make_unique<R>();
}

struct RecordKind
{
    const char* name;
    std::unique_ptr<CObjectStoreXmlHelper> (*make)();
    std::vector<Field> fields;
};

constexpr int32_t kDataSize = 3;

using Vars = std::vector<std::pair<std::string, std::string>>;

// The byte form with a value of its own in every field, and the documents'
// (key, text) pairs for it.
std::pair<std::string, Vars> build(const std::vector<Field>& fields)
{
    CByteStream wire;
    Vars vars;
    for (size_t i = 0; i < fields.size(); ++i) {
        const Field& f = fields[i];
        const std::string key = f.key;
        const int32_t value = key == "StructVer" ? 1 : key == "DataSize" ? kDataSize : static_cast<int32_t>(10 + i);
        std::string text = std::to_string(value);
        if (f.kind == I32) {
            wire.WriteInt32(value);
        } else if (f.kind == I16) {
            wire.WriteInt16(static_cast<int16_t>(value));
        } else if (f.kind == Str) {
            text = f.text != nullptr ? f.text : "v:" + key;
            wire.WriteStdString(text);
        } else {
            std::vector<uint8_t> bytes(f.kind == Date ? 8 : kDataSize);
            for (size_t b = 0; b < bytes.size(); ++b)
                bytes[b] = static_cast<uint8_t>(0xA0 + i + b);
            wire.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
            text = bytes_to_hex(bytes.data(), static_cast<int>(bytes.size()), 0);
        }
        vars.emplace_back(key, text);
    }
    return {stream_bytes(wire), vars};
}

Vars vars_of(const RecordElement& xml)
{
    Vars vars;
    for (const TiXmlElement* var = xml.element->FirstChildElement(); var; var = var->NextSiblingElement()) {
        const char* key = var->Attribute("name");
        vars.emplace_back(key != nullptr ? key : "<no name>", var->GetText() != nullptr ? var->GetText() : "");
    }
    return vars;
}

const RecordKind kKinds[] = {
    {"object", make<CMS_ObjectData>,
     {{"StructVer", I32}, {"ID", I32}, {"Group", I32}, {"Number", I32}, {"ExternalNumber", I32},
      {"DeviceID", I32}, {"Partition", I32}, {"Type", I32}, {"Flags", I32}, {"LiveTimeout", I32},
      {"ScheduleInterval", I32}, {"Name", Str}, {"Descr", Str}, {"GBR", Str}, {"Password", Str},
      {"Settings", Str}, {"GUID", Str}, {"DataSize", I32}, {"Data", Data}, {"State", I32}, {"StateMask", I32},
      {"DynamicState", I32}, {"MessageID", I32}, {"Key", I32}, {"CaptureDateTime", Date},
      {"OriginServerId", I32}, {"UserId", I32}}},
    {"object group", make<CMS_ObjectGroupData>,
     {{"StructVer", I32}, {"ID", I32}, {"Type", I32}, {"Name", Str}, {"Descr", Str}, {"Settings", Str},
      {"AutoProcess", I32}, {"ServerID", I32}, {"Number", I32}, {"ExternalNumber", I32},
      {"OriginServerId", I32}, {"UserId", I32}}},
    // Saving writes the serial number into Settings; one already there stays as it is.
    {"sensor", make<CMS_ObjectSensorData>,
     {{"StructVer", I32}, {"ID", I32}, {"Number", I32}, {"ObjectID", I32}, {"Type", I32}, {"Flags", I32},
      {"Name", Str}, {"Settings", Str, "SN=v\r\n"}, {"GUID", Str}, {"State", I32}}},
    {"client", make<CMS_ObjectClientData>,
     {{"StructVer", I32}, {"ID", I32}, {"Number", I32}, {"ObjectID", I32}, {"Type", I32}, {"Flags", I32},
      {"Name", Str}, {"Settings", Str}, {"State", I32}}},
    {"pin", make<CMS_ObjectPinData>,
     {{"StructVer", I32}, {"ID", I32}, {"ObjectID", I32}, {"Index", I32}, {"Type", I32}, {"Flags", I32},
      {"Name", Str}, {"inExpr", Str}, {"outExpr", Str}, {"Settings", Str}, {"State", I32},
      {"DynamicState", I32}, {"Value", Str}, {"OriginServerId", I32}}},
    {"schedule", make<CMS_ObjectScheduleData>,
     {{"StructVer", I32}, {"ID", I32}, {"Number", I32}, {"ObjectID", I32}, {"Type", I32}, {"Flags", I32},
      {"Name", Str}, {"Settings", Str}, {"Time", Date}, {"DayOfWeek", I32}, {"State", I32}}},
    {"image", make<CMS_ObjectImageData>,
     {{"StructVer", I32}, {"ID", I32}, {"Number", I32}, {"ObjectID", I32}, {"Type", I32}, {"Flags", I32},
      {"Name", Str}, {"Descr", Str}, {"Settings", Str}, {"Objects", Str}, {"DataSize", I32}, {"Data", Data}}},
    {"device", make<CMS_DeviceData>,
     {{"StructVer", I32}, {"ID", I32}, {"Number", I32}, {"Type", I32}, {"Flags", I32}, {"Name", Str},
      {"Descr", Str}, {"Password", Str}, {"Settings", Str}, {"Info", Str}, {"SignalInfo", Str},
      {"DataSize", I32}, {"Data", Data}, {"State", I32}, {"CaptureDateTime", Date}, {"OriginServerId", I32},
      {"UserId", I32}}},
    {"device test", make<CMS_DeviceTest>,
     {{"CreateTime", Date}, {"ChannelId", I32}, {"ChannelNet", I32}, {"InfoValue", I32}}},
    {"shift", make<CMS_ShiftData>,
     {{"StructVer", I32}, {"ID", I32}, {"State", I32}, {"Number", I32}, {"UserID", I32}, {"Descr", Str},
      {"StartTime", Date}, {"EndTime", Date}}},
    {"person", make<CMS_PersonData>,
     {{"ID", I32}, {"Type", I32}, {"Flags", I32}, {"Name", Str}, {"Settings", Str}, {"Key", Str},
      {"OriginServerId", I32}}},
    {"user", make<CMS_UserData>,
     {{"StructVer", I32}, {"ID", I32}, {"Role", I32}, {"Rights", I32}, {"Name", Str}, {"Descr", Str},
      {"Password", Str}, {"ObjectCount", I32}, {"Settings", Str}, {"Flags", I32}, {"ClientTyp", I32},
      {"EventFilter", Str}, {"ClientFilter", Str}, {"OriginServerId", I32}}},
    {"event", make<CMS_SimpleEventData>,
     {{"StructVer", I32}, {"DateTime", Date}, {"CreateDateTime", Date}, {"ID", I32}, {"Type", I16},
      {"SubType", I16}, {"DeviceID", I32}, {"ObjectID", I32}, {"ObjectGroupID", I32}, {"MessageID", I32},
      {"Info", Str}, {"ObjectState", I32}, {"ObjectStateChange", I32}, {"SourceType", I16}, {"SourceID", I16},
      {"ChannelID", I16}, {"ChannelNet", I16}, {"ServerID", I16}, {"DeviceAddress", I16}, {"Partition", I16},
      {"DeviceNumber", I32}, {"ObjectNumber", I32}, {"SensorNumber", I16}, {"PinNumber", I16},
      {"KeyNumber", I16}, {"ShiftID", I32}, {"DataSize", I32}, {"Data", Data}}},
};

TEST(RecordFieldOrderTest, EveryKindTakesAndGivesItsFieldsInTheirOrderUnderTheirKeys)
{
    for (const RecordKind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        const auto built = build(kind.fields);
        const std::unique_ptr<CObjectStoreXmlHelper> record = kind.make();
        ASSERT_TRUE(load_bytes(*record, built.first));
        EXPECT_EQ(bytes_of(*record), built.first);
        RecordElement xml;
        save_xml(*record, xml);
        EXPECT_EQ(vars_of(xml), built.second);
    }
}

} // namespace
