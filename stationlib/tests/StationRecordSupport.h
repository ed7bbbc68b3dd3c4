#pragma once

// Helpers shared by the station record tests: byte and XML forms of a record,
// and fillers that give every serialised field a distinct non-default value.

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdint>
#include <string>

#include "archive/CFieldArchive.h"
#include "base/CByteStream.h"
#include "base/XmlHelpers.h"
#include "platform/ModulePath.h"
#include "records/CMS_DeviceData.h"
#include "records/CMS_DeviceTest.h"
#include "records/CMS_ObjectClientData.h"
#include "records/CMS_ObjectData.h"
#include "records/CMS_ObjectGroupData.h"
#include "records/CMS_ObjectImageData.h"
#include "records/CMS_ObjectPinData.h"
#include "records/CMS_ObjectScheduleData.h"
#include "records/CMS_ObjectSensorData.h"
#include "records/CMS_PersonData.h"
#include "records/CMS_ShiftData.h"
#include "records/CMS_SimpleEventData.h"
#include "records/CMS_UserData.h"
#include "testsupport/TestFolder.h"

namespace record_test {

inline std::string stream_bytes(const CByteStream& stream)
{
    return std::string(reinterpret_cast<const char*>(stream.GetData()), static_cast<size_t>(stream.GetLength()));
}

// The record's byte form.
inline std::string bytes_of(const CObjectStoreXmlHelper& record)
{
    CByteStream stream;
    EXPECT_TRUE(record.SaveToStream(&stream));
    return stream_bytes(stream);
}

// A stream holding a copy of the bytes, cursor at the start.
inline void fill_stream(CByteStream& stream, const std::string& bytes)
{
    ASSERT_TRUE(stream.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size())));
    stream.Rewind();
}

inline bool load_bytes(CObjectStoreXmlHelper& record, const std::string& bytes, int flag = 0)
{
    CByteStream stream;
    if (!bytes.empty() && !stream.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size())))
        return false;
    stream.Rewind();
    return record.LoadFromStream(&stream, flag);
}

// A record element of a document, windows-1251 unless another encoding is
// declared, as the list documents hold them.
struct RecordElement
{
    explicit RecordElement(const char* encoding = "windows-1251")
    {
        document.LinkEndChild(new TiXmlDeclaration("1.0", encoding, ""));
        element = new TiXmlElement("record");
        document.LinkEndChild(element);
    }

    // The record as this text of its vars makes it.
    void Parse(const std::string& vars)
    {
        ASSERT_TRUE(xml_parse_text(document, "<?xml version=\"1.0\" encoding=\"windows-1251\"?><record>" + vars +
                                                 "</record>"));
        element = document.FirstChildElement("record");
    }

    // The same document after printing and parsing again.
    void Reparse()
    {
        std::string text;
        xml_node_to_text(&document, text);
        ASSERT_TRUE(xml_parse_text(document, text)) << text;
        element = document.FirstChildElement("record");
        ASSERT_NE(element, nullptr);
    }

    // The value of the first var with that key, or "<missing>".
    std::string Var(const std::string& key) const
    {
        for (const TiXmlElement* var = element->FirstChildElement("var"); var; var = var->NextSiblingElement("var")) {
            const char* name = var->Attribute("name");
            if (name != nullptr && key == name)
                return var->GetText() != nullptr ? var->GetText() : "";
        }
        return "<missing>";
    }

    int VarCount() const
    {
        int count = 0;
        for (const TiXmlElement* var = element->FirstChildElement("var"); var; var = var->NextSiblingElement("var"))
            ++count;
        return count;
    }

    TiXmlDocument document;
    TiXmlElement* element = nullptr;
};

inline void save_xml(const CObjectStoreXmlHelper& record, RecordElement& xml)
{
    CFieldArchive archive(xml.element);
    ASSERT_TRUE(record.Save(&archive));
}

inline bool load_xml(CObjectStoreXmlHelper& record, RecordElement& xml, int flag = 0)
{
    CFieldArchive archive(xml.element);
    return record.Load(&archive, flag);
}

inline PackedDateTime date_of(int seed)
{
    return PackedDateTime{static_cast<uint8_t>(seed % 60), 30, 12, 5, 3, 0xE8, 0x07, 0};
}

inline RecordBlock block_of(int size, int seed)
{
    RecordBlock block(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i)
        block[static_cast<size_t>(i)] = static_cast<uint8_t>(seed + 7 * i);
    return block;
}

// Fillers: every serialised field distinct from its default and from its
// neighbours; `seed` makes two records differ.
inline void fill(CMS_ObjectData& r, int s)
{
    r.ID = s + 1; r.Group = s + 2; r.Number = s + 3; r.ExternalNumber = s + 4; r.DeviceID = s + 5;
    r.Partition = s + 6; r.Type = s + 7; r.Flags = s + 8; r.LiveTimeout = s + 9; r.ScheduleInterval = s + 10;
    r.Name = "object " + std::to_string(s); r.Descr = "descr"; r.GBR = "gbr"; r.Password = "pw";
    r.Settings = "Lat=55,5\r\nCanMove=1\r\n"; r.GUID = "guid-" + std::to_string(s);
    r.DataSize = 5; r.Data = block_of(5, s);
    r.State = s + 11; r.StateMask = s + 12; r.DynamicState = s + 13; r.MessageID = s + 14; r.Key = s + 15;
    r.CaptureDateTime = date_of(s); r.OriginServerId = s + 16; r.UserId = s + 17;
}

inline void fill(CMS_ObjectGroupData& r, int s)
{
    r.ID = s + 1; r.Type = s + 2; r.Name = "group " + std::to_string(s); r.Descr = "d"; r.Settings = "A=1\r\n";
    r.AutoProcess = s + 3; r.ServerID = s + 4; r.Number = s + 5; r.ExternalNumber = s + 6;
    r.OriginServerId = s + 7; r.UserId = s + 8;
}

inline void fill(CMS_ObjectSensorData& r, int s)
{
    r.ID = s + 1; r.Number = s + 2; r.ObjectID = s + 3; r.Type = s + 4; r.Flags = s + 5;
    r.Name = "sensor " + std::to_string(s); r.Settings = "Zone=2\r\n"; r.GUID = "g" + std::to_string(s);
    r.State = static_cast<uint8_t>(200 + s % 50); r.SN = "SN" + std::to_string(s);
}

inline void fill(CMS_ObjectClientData& r, int s)
{
    r.ID = s + 1; r.Number = s + 2; r.ObjectID = s + 3; r.Type = s + 4; r.Flags = s + 5;
    r.Name = "client " + std::to_string(s); r.Settings = "Phone1=+7 (912) 345-67-89\r\nCCFl=4\r\n"; r.State = s + 6;
}

inline void fill(CMS_ObjectPinData& r, int s)
{
    r.ID = s + 1; r.ObjectID = s + 2; r.Index = s + 3; r.Type = s + 4; r.Flags = s + 5;
    r.Name = "pin " + std::to_string(s); r.inExpr = "in"; r.outExpr = "out"; r.Settings = "P=1\r\n";
    r.State = s + 6; r.DynamicState = s + 7; r.Value = "v" + std::to_string(s); r.OriginServerId = s + 8;
}

inline void fill(CMS_ObjectScheduleData& r, int s)
{
    r.ID = s + 1; r.Number = s + 2; r.ObjectID = s + 3; r.Type = s + 4; r.Flags = s + 5;
    r.Name = "schedule " + std::to_string(s); r.Settings = "S=1\r\n"; r.Time = date_of(s);
    r.DayOfWeek = s + 6; r.State = s + 7;
}

inline void fill(CMS_ObjectImageData& r, int s)
{
    r.ID = s + 1; r.Number = s + 2; r.ObjectID = s + 3; r.Type = s + 4; r.Flags = s + 5;
    r.Name = "image " + std::to_string(s); r.Descr = "plan"; r.Settings = "I=1\r\n"; r.Objects = "1,2";
    r.DataSize = 4; r.Data = block_of(4, s);
}

inline void fill(CMS_DeviceData& r, int s)
{
    r.ID = s + 1; r.Number = s + 2; r.Type = s + 3; r.Flags = s + 4; r.Name = "device " + std::to_string(s);
    r.Descr = "d"; r.Password = "p"; r.Settings = "D=1\r\n"; r.Info = "info"; r.SignalInfo = "signal";
    r.DataSize = 3; r.Data = block_of(3, s); r.State = s + 5; r.CaptureDateTime = date_of(s);
    r.OriginServerId = s + 6; r.UserId = s + 7;
}

inline void fill(CMS_DeviceTest& r, int s)
{
    r.CreateTime = date_of(s); r.ChannelId = s + 1; r.ChannelNet = s + 2; r.InfoValue = s + 3;
}

inline void fill(CMS_ShiftData& r, int s)
{
    r.ID = s + 1; r.State = s + 2; r.Number = s + 3; r.UserID = s + 4; r.Descr = "shift " + std::to_string(s);
    r.StartTime = date_of(s); r.EndTime = date_of(s + 1);
}

inline void fill(CMS_PersonData& r, int s)
{
    r.ID = s + 1; r.Type = s + 2; r.Flags = s + 3; r.Name = "person " + std::to_string(s);
    r.Settings = "PersObjects=3,4\r\n"; r.Key = "k" + std::to_string(s); r.OriginServerId = s + 4;
}

inline void fill(CMS_UserData& r, int s)
{
    r.ID = s + 1; r.Role = s + 2; r.Rights = s + 3; r.Name = "user " + std::to_string(s); r.Descr = "operator";
    r.Password = "pw"; r.ObjectCount = s + 4; r.Settings = "U=1\r\n"; r.Flags = s + 5; r.ClientTyp = s + 6;
    r.EventFilter = "ef"; r.ClientFilter = "cf"; r.OriginServerId = s + 7;
}

inline void fill(CMS_SimpleEventData& r, int s)
{
    r.DateTime = date_of(s); r.CreateDateTime = date_of(s + 1); r.ID = s + 1;
    r.Type = static_cast<int16_t>(s + 2); r.SubType = static_cast<int16_t>(s + 3); r.DeviceID = s + 4;
    r.ObjectID = s + 5; r.ObjectGroupID = s + 6; r.MessageID = s + 7; r.Info = "info " + std::to_string(s);
    r.ObjectState = s + 8; r.ObjectStateChange = s + 9; r.SourceType = static_cast<uint8_t>(200 + s % 50);
    r.SourceID = static_cast<int16_t>(s + 10); r.ChannelID = static_cast<int16_t>(s + 11);
    r.ChannelNet = static_cast<int16_t>(s + 12); r.ServerID = static_cast<int16_t>(s + 13);
    r.DeviceAddress = static_cast<int16_t>(s + 14); r.Partition = static_cast<int16_t>(s + 15);
    r.DeviceNumber = s + 16; r.ObjectNumber = s + 17; r.SensorNumber = static_cast<int16_t>(s + 18);
    r.PinNumber = static_cast<int16_t>(s + 19); r.KeyNumber = static_cast<int16_t>(s + 20); r.ShiftID = s + 21;
    r.DataSize = 6; r.Data = block_of(6, s);
}

// The byte form of a record that `fill` gave values.
template <class R>
std::string filled_bytes(int seed = 1)
{
    R record;
    fill(record, seed);
    return bytes_of(record);
}

// A temporary folder standing in for the library's folder for one test.
class LibraryFolder : public TestFolder
{
public:
    LibraryFolder() { platform::set_module_path_override(Path("libArdentis.so")); }
    ~LibraryFolder() { platform::set_module_path_override(std::string()); }
};

} // namespace record_test
