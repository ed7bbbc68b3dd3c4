// The XML documents the library reads: container documents from a folder (kept
// when their Root.Sign matches), the station's constant documents turned into
// the dictionaries, and the record documents a host hands to IOCtrl. Checks that
// a record the library renders as a document loads back from it, that every text
// of a record document comes back byte for byte once written, and that the shape
// every text is measured by before TinyXML parses it (levels, attributes of the
// widest element, nodes) is the shape of the tree TinyXML then builds (against
// small bounds, so short inputs reach past them).
//
// Input: the document's text, then (its last byte) what reads it.

#include "FuzzSupport.h"

#include "base/CByteStream.h"
#include "base/XmlDepth.h"
#include "base/XmlHelpers.h"
#include "base/XmlListWriter.h"
#include "client/CMS_HelperClientLib.h"
#include "dictionaries/CMS_ConstDictionaries.h"
#include "dictionaries/CMS_ContainerXml.h"
#include "records/CMS_DeviceData.h"
#include "records/CMS_ObjectClientData.h"
#include "records/CMS_ObjectData.h"
#include "records/CMS_ObjectGroupData.h"
#include "records/CMS_ObjectPinData.h"
#include "records/CMS_ObjectSensorData.h"

#include "Ardentis.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <tinyxml.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kSign[] = "FuzzSign";
constexpr char kSubfolder[] = "Xml/Fuzz";

struct Harness
{
    fuzzsupport::LibrarySandbox sandbox{"xml"};
    std::unique_ptr<CMS_HelperClientLib> instance;

    Harness()
    {
        std::filesystem::create_directories(sandbox / kSubfolder);
        // Never connected: each command reads its document, then fails at once.
        instance = std::make_unique<CMS_HelperClientLib>();
        instance->Init(6, "fuzz", nullptr, -1);
    }
};

} // namespace

FUZZ_HARNESS_STATE(Harness, "Feeds container, constant and record documents to the library's XML readers.")

namespace {

void read_container(const std::string& text)
{
    fuzzsupport::WriteFile(harness->sandbox / (std::string(kSubfolder) + "/document.xml"), text.data(), text.size());
    CMS_ContainerXml container;
    container.Init(kSign, kSubfolder, nullptr, false);
    for (int32_t type : container.GetTypes())
        container.GetDocumentText(type);
    container.GetNamesByType();
}

void read_dictionaries(const std::string& text)
{
    CByteStream stream;
    stream.WriteInt32(1);
    stream.WriteStdString(text);
    stream.Rewind();
    CMS_ConstDictionaries dictionaries;
    if (!dictionaries.AddDocuments(&stream))
        return;
    for (int code = 0; code < 256; ++code)
        dictionaries.GetText(static_cast<uint8_t>(code));
    uint32_t clear = 0;
    uint32_t set = 0;
    for (int32_t sub = -1; sub < 40; ++sub)
        dictionaries.GetStateMasks(3, sub, clear, set);
}

// The record the host's document describes, rendered and loaded back.
template <class T>
void read_record(const std::string& text, const char* tag)
{
    T record;
    if (!CMS_HelperClientLib::LoadListXml(text, tag, record))
        return;
    const std::string rendered = CMS_HelperClientLib::RecordToXml(record, tag);
    if (rendered.empty())
        return;
    T again;
    FUZZ_CHECK(CMS_HelperClientLib::LoadListXml(rendered, tag, again), "a rendered record does not load back");
}

// Every text the host's document holds comes back byte for byte once the library
// writes it as a field value and reads it again. TinyXML's printer passes a
// value's own "&#x" through as a reference, which then reads as what it stands
// for: such a value is left out.
void texts_come_back(const TiXmlNode* node)
{
    for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
        texts_come_back(child);
        const TiXmlText* text = child->ToText();
        if (text == nullptr || text->ValueStr().find("&#x") != std::string::npos)
            continue;
        const std::string& value = text->ValueStr();
        XmlListWriter writer("valuelist");
        writer.BeginRecord("value");
        writer.AddVar("Text", value.data(), value.size());
        writer.EndRecord();
        TiXmlDocument written;
        FUZZ_CHECK(xml_parse_exact_text(written, writer.Finish()), "a written value does not parse");
        std::string back;
        xml_get_var(back, xml_find_path_c(&written, "valuelist.value"), "Text");
        FUZZ_CHECK(back == value, "a written value does not come back byte for byte");
    }
}

void read_texts(const std::string& text)
{
    TiXmlDocument document;
    xml_parse_exact_text(document, text);
    texts_come_back(&document);
}

// A command that takes the document in its input block, or (with an object's
// identifier in front) in its output block.
void io_ctrl(int32_t command, bool inOutput, const std::string& text)
{
    std::vector<char> block(text.begin(), text.end());
    block.push_back(0);
    int32_t length = 0;
    if (inOutput) {
        const int32_t objectId = 1;
        harness->instance->IOCtrl(command, &objectId, sizeof objectId, block.data(),
                                  static_cast<int32_t>(block.size()), &length);
    } else {
        int32_t id = 0;
        harness->instance->IOCtrl(command, block.data(), static_cast<int32_t>(block.size()), &id, sizeof id,
                                  &length);
    }
}

bool same_shape(const XmlShape& a, const XmlShape& b)
{
    return a.depth == b.depth && a.attributes == b.attributes && a.nodes == b.nodes;
}

// The measure against TinyXML itself, in each encoding a parse may be given.
void measure_shape(const std::string& text)
{
    constexpr XmlShape kBounds{4, 3, 24};
    std::string padded = text;
    padded.append(4, '\0');
    for (TiXmlEncoding encoding : {TIXML_ENCODING_UNKNOWN, TIXML_ENCODING_UTF8, TIXML_ENCODING_LEGACY}) {
        const XmlShape measured = xml_shape(padded.c_str(), encoding, kBounds);
        TiXmlDocument document;
        document.Parse(padded.c_str(), nullptr, encoding);
        const XmlShape built = xml_tree_shape(&document);
        const bool refused = xml_shape_exceeds(measured, kBounds);
        FUZZ_CHECK(refused || !xml_shape_exceeds(built, kBounds), "a document past a bound measured within them");
        FUZZ_CHECK(refused ? xml_shape_exceeds(built, kBounds) : same_shape(measured, built),
                   "a document measured other than TinyXML builds it");
    }
}

} // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const int kind = input.ConsumeIntegralInRange(0, 9);
    const std::string text = input.ConsumeRemainingBytesAsString();
    measure_shape(text);
    switch (kind) {
    case 0: read_container(text); break;
    case 1: read_dictionaries(text); break;
    case 2:
        io_ctrl(MSC_IOCTL_ADD_OBJECT, false, text);
        read_record<CMS_ObjectData>(text, "object");
        read_texts(text);
        break;
    case 3:
        io_ctrl(MSC_IOCTL_CHANGE_DEVICE, false, text);
        read_record<CMS_DeviceData>(text, "device");
        break;
    case 4:
        io_ctrl(MSC_IOCTL_REMOVE_GROUP, false, text);
        read_record<CMS_ObjectGroupData>(text, "objectgroup");
        break;
    case 5:
        io_ctrl(MSC_IOCTL_ADD_SENSOR, true, text);
        read_record<CMS_ObjectSensorData>(text, "sensor");
        break;
    case 6:
        io_ctrl(MSC_IOCTL_CHANGE_CLIENT, true, text);
        read_record<CMS_ObjectClientData>(text, "client");
        break;
    case 7:
        io_ctrl(MSC_IOCTL_CHANGE_PIN, true, text);
        read_record<CMS_ObjectPinData>(text, "pin");
        break;
    case 8: io_ctrl(MSC_IOCTL_REMOVE_SENSOR, false, text); break;
    case 9: io_ctrl(MSC_IOCTL_CHANGE_OBJECT, false, text); break;
    default: break;
    }
    return 0;
}
