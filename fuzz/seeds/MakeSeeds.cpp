// Writes the seed corpora of the harnesses into <folder>/<harness>/, each input
// made with the project's own writers: records saved to their byte form, messages
// cut into frames and scrambled as a station sends them, documents rendered as the
// library renders them, and packages built with the ZIP tests' archive builder.
//
//   fuzz-seeds <corpus folder>
//
// Records carry the time and the fresh GUIDs of the moment they are made, so
// each run writes seeds that differ from the last in those bytes.

#include "ScriptedStation.h"
#include "ZipArchiveBuilder.h"

#include "base/CByteStream.h"
#include "client/CMS_HelperClientLib.h"
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
#include "records/StationItem.h"
#include "wire/CLanPacket.h"
#include "wire/CLanPacketHelper.h"
#include "wire/PayloadScrambler.h"
#include "wire/StationMessageType.h"
#include "wire/StationNotifyCode.h"

#include "support/ConnectionSettings.h"
#include "vms/LinkProtocol.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;

std::filesystem::path corpus;

void put(const char* harness, const std::string& name, const Bytes& bytes)
{
    const std::filesystem::path folder = corpus / harness;
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / ("seed-" + name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Bytes bytes_of(const CByteStream& stream)
{
    const uint8_t* data = stream.GetData();
    return data ? Bytes(reinterpret_cast<const char*>(data), static_cast<size_t>(stream.GetLength())) : Bytes();
}

Bytes saved(const CObjectStoreXmlHelper& record)
{
    CByteStream stream;
    record.SaveToStream(&stream);
    return bytes_of(stream);
}

Bytes word(int32_t value)
{
    CByteStream stream;
    stream.WriteInt32(value);
    return bytes_of(stream);
}

Bytes text(const std::string& value)
{
    CByteStream stream;
    stream.WriteStdString(value);
    return bytes_of(stream);
}

// ---- Records ----------------------------------------------------------------------

CMS_ObjectData object(int32_t id)
{
    CMS_ObjectData o;
    o.ID = id;
    o.Group = 1;
    o.Number = 100 + id;
    o.Name = "\xc1\xe0\xed\xea";  // Windows-1251
    o.Settings = "Lat=55,75\nCanMove=1\nStEx=3\n";
    o.GUID = "00000000-0000-0000-0000-000000000001";
    return o;
}

CMS_ObjectSensorData sensor(int32_t id)
{
    CMS_ObjectSensorData s;
    s.ID = id;
    s.ObjectID = 1;
    s.Number = id;
    s.State = static_cast<uint8_t>(id % 2 ? 5 : 0);
    s.Settings = "SN=42\n";
    return s;
}

CMS_SimpleEventData event(int16_t type, int16_t subType)
{
    CMS_SimpleEventData e;
    e.ID = 7;
    e.Type = type;
    e.SubType = subType;
    e.ObjectID = 1;
    e.ObjectState = 1;
    e.DeviceNumber = 1;
    e.SensorNumber = 2;
    e.Info = "info";
    e.SetDataSize(16);
    return e;
}

template <class T>
Bytes two_of(T first, T second)
{
    return saved(first) + saved(second);
}

Bytes station_form(const CMS_UserData& user)
{
    const std::vector<uint8_t> form = stationsim::ScriptedStation::UserStationForm(user);
    return Bytes(form.begin(), form.end());
}

Bytes station_form(const CMS_PersonData& person)
{
    CByteStream stream;
    person.SaveToStream(&stream);
    return bytes_of(stream);
}

Bytes item()
{
    StationItem i;
    i.ID = 3;
    i.Text1 = "item";
    i.SetDataLength(4);
    CByteStream stream;
    i.Write(&stream);
    return bytes_of(stream);
}

Bytes personnel()
{
    CByteStream stream;
    stream.WriteInt32(7);
    stream.WriteStdString("a");
    stream.WriteStdString("b");
    stream.WriteStdString("c");
    for (int i = 0; i < 3; ++i)
        stream.WriteInt16(-1);
    for (int i = 0; i < 5; ++i)
        stream.WriteInt32(i);
    return bytes_of(stream);
}

Bytes documents(const std::vector<std::string>& texts)
{
    Bytes out = word(static_cast<int32_t>(texts.size()));
    for (const std::string& t : texts)
        out += text(t);
    return out;
}

const char kStateDictionary[] =
    "<Root><General><Typ>4</Typ><Name>states</Name></General><Template>"
    "<e id=\"3\" text=\"sensor\" priority=\"0x10\"><s id=\"5\" text=\"alarm\" s0=\"2\" s1=\"4\"/></e>"
    "</Template></Root>";
const char kCodeDictionary[] =
    "<Root><General><Typ>8</Typ><Name>codes</Name></General><Template>"
    "<e id=\"0x41\" text=\"A\" priority=\"1\"/></Template></Root>";
const char kParameterDictionary[] =
    "<Root><General><Typ>2</Typ><Name>parameters</Name></General><Template>"
    "<e id=\"1\" text=\"p\"><ParameterLookup><v id=\"2\" text=\"q\"/></ParameterLookup></e></Template></Root>";

// ---- Station stream ---------------------------------------------------------------

// A message as the station sends it: scrambled when it is a notification, cut
// into frames of at most `frameSize` bytes.
Bytes frames(int32_t type, const Bytes& data, int32_t frameSize = 8192)
{
    Bytes payload = data;
    if (type == kMessageRequest)
        ScramblePayload(reinterpret_cast<uint8_t*>(&payload[0]), static_cast<int32_t>(payload.size()),
                        kStationKeyWord);
    CLanPacket packet;
    packet.Create(type, 0, payload.data(), static_cast<int32_t>(payload.size()));
    CLanPacketHelper helper;
    std::vector<uint8_t> buffer(static_cast<size_t>(frameSize));
    Bytes out;
    for (int32_t index = 0; index < helper.GetFrameCount(packet, frameSize); ++index) {
        int32_t size = 0;
        helper.BuildFrame(packet, index, buffer.data(), frameSize, size);
        out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(size));
    }
    return out;
}

Bytes notification(int32_t code, const Bytes& records, int32_t frameSize = 8192)
{
    return frames(kMessageRequest, word(code) + records, frameSize);
}

void station_stream()
{
    const char* h = "station_stream";
    const Bytes whole(1, '\0');
    put(h, "objects", whole + notification(kNotifyObjectAdded, saved(object(1)))
                          + notification(kNotifyObjectChanged, saved(object(1)))
                          + notification(kNotifyObjectGroupMoved, word(1) + word(0) + word(2) + word(0) + word(0))
                          + notification(kNotifyObjectRemoved, saved(object(1))));
    put(h, "events", whole + notification(kNotifyObjectAdded, saved(object(1)))
                         + notification(kNotifyEvent, saved(event(3, 5)))
                         + notification(kNotifyEvent, saved(event(2, 4)))
                         + notification(kNotifyEvent, saved(event(4, 1))));
    put(h, "devices-groups-pins", whole + notification(kNotifyDeviceAdded, saved(CMS_DeviceData()))
                                      + notification(kNotifyGroupAdded, saved(CMS_ObjectGroupData()))
                                      + notification(kNotifyPinAdded, saved(CMS_ObjectPinData()))
                                      + notification(kNotifyPinChanged, saved(CMS_ObjectPinData())));
    put(h, "items", whole + notification(kNotifyItemAdded, item()) + notification(kNotifyItemRemoved, item()));
    put(h, "fragments", Bytes(1, '\x07') + notification(kNotifyObjectAdded, saved(object(2)), 64));
    put(h, "own-framing", Bytes("\xff\x03") + word(kNotifyObjectAdded) + saved(object(3)));
    put(h, "ping-answer", Bytes(1, '\x03') + frames(kMessagePing, Bytes()) + frames(kMessageAnswer, word(0) + word(0))
                              + frames(kMessageIgnored, "x"));
    // The first frame of an answer that claims more than the message bound: the
    // link ends there, so the notification behind it is never taken in.
    const Bytes oversized = "KVTP" + word(kMessageAnswer) + word(CLanPacket::kMaxMessageLength + 1) + word(8)
                            + word(0) + word(9000) + word(0) + word(0) + word(0);
    put(h, "oversized-answer", whole + oversized + notification(kNotifyObjectAdded, saved(object(4))));
}

// ---- Station answers --------------------------------------------------------------

// The body, then what the harness reads from the end: options, frame size, kind.
void answer(const std::string& name, int kind, const Bytes& body, uint8_t frame = 0, uint8_t option = 1)
{
    Bytes input = body;
    input += static_cast<char>(option);
    input += static_cast<char>(frame);
    input += static_cast<char>(kind);
    put("station_answers", name, input);
}

void station_answers()
{
    answer("login", 0, word(5) + word(6) + text("welcome"));
    answer("objects", 1, two_of(object(1), object(2)), 3);
    answer("pins", 2, two_of(CMS_ObjectPinData(), CMS_ObjectPinData()));
    answer("devices", 3, two_of(CMS_DeviceData(), CMS_DeviceData()));
    answer("groups", 4, two_of(CMS_ObjectGroupData(), CMS_ObjectGroupData()));
    CMS_UserData user;
    user.Name = "operator";
    answer("users", 5, station_form(user) + station_form(user));
    answer("user-list", 6, station_form(user));
    CMS_PersonData person;
    person.Settings = "PersObjects=3,x,17\nCCFl=4\nPhone1=+7 (912) 345-67-89\n";
    answer("persons", 7, station_form(person) + station_form(person));
    answer("sensors", 8, two_of(sensor(1), sensor(2)));
    CMS_ObjectClientData client;
    client.Settings = "CCAcc=0000000000000000000000000000000000000000\nCCFl=1f\n";
    answer("clients", 9, saved(client));
    answer("object-pins", 10, saved(CMS_ObjectPinData()));
    answer("schedules", 11, two_of(CMS_ObjectScheduleData(), CMS_ObjectScheduleData()));
    CMS_ObjectImageData image;
    image.DataSize = 4;
    image.Data = {1, 2, 3, 4};
    answer("images", 12, saved(image));
    answer("events", 13, two_of(event(3, 5), event(2, 20)));
    CMS_SimpleEventData withPersonnel = event(2, 30);
    const Bytes record = personnel();
    withPersonnel.SetDataSize(static_cast<int32_t>(record.size()));
    std::copy(record.begin(), record.end(), withPersonnel.Data.begin());
    answer("events-personnel", 14, saved(withPersonnel));
    answer("events-raw", 15, saved(event(3, 1)));
    answer("device-tests", 16, two_of(CMS_DeviceTest(), CMS_DeviceTest()));
    answer("shifts", 17, saved(CMS_ShiftData()));
    answer("device-types", 18, documents({"<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"no\" ?>\n"
                                          "<Root>\n<General><Typ>1</Typ></General></Root>\n"}));
    answer("adapters", 19, documents({"<Root><General><Typ>1</Typ><Name>a</Name></General></Root>"}));
    answer("dictionaries", 20, documents({kStateDictionary, kCodeDictionary, kParameterDictionary}), 0, 5);
    answer("transact", 21, "\x01\x02\x03");
    answer("post-item", 22, word(9));
    answer("add-object", 23, word(10));
    answer("refusal", 1, "refused", 0, 0x81);
    answer("notify-object", 24, saved(object(1)), 0, 0);
    answer("notify-event", 24, saved(event(3, 5)), 0, 16);
    answer("notify-item", 24, item(), 0, 12);
    answer("notify-moved", 24, word(1) + word(0) + word(2) + word(0) + word(0), 0, 17);
}

// ---- Library files ----------------------------------------------------------------

void library_ini()
{
    const char* h = "library_ini";
    put(h, "defaults", "[Main]\r\nServerHost=localhost\r\nServerPort=5000\r\nUserName=pelto\r\n\r\n");
    put(h, "view", "[Main]\r\nServerPort = 5050 \r\nGroupSel=3\r\n;comment\r\n;comment\r\nFlag\r\n\r\n"
                   "[Objects]\r\nShowStateImage=1\r\nShowStateImageMask=0x10\r\n[Main]\r\nChessFont=-2\r\n");
    put(h, "odd-lines", "key=before\r\n[ Spaced ]\r\n=no key\r\n[broken\r\na=b=c\rd\nlast=no line end");
}

void xml(const std::string& name, int kind, const std::string& document)
{
    put("library_xml", name, document + static_cast<char>(kind));
}

void library_xml()
{
    xml("container", 0, "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\n<Root><Sign>FuzzSign</Sign>"
                        "<General><Typ>5</Typ><Name>\xc8\xec\xff</Name></General></Root>");
    xml("states", 1, kStateDictionary);
    xml("codes", 1, kCodeDictionary);
    xml("parameters", 1, kParameterDictionary);
    xml("object", 2, CMS_HelperClientLib::RecordToXml(object(1), "object"));
    // Blanks as a host may write them, also as references, which a parse that
    // trims and folds white space would keep while it drops the plain ones.
    CMS_ObjectData blanks = object(2);
    blanks.Name = "  two  spaces  ";
    blanks.Password = "   ";
    std::string blankDocument = CMS_HelperClientLib::RecordToXml(blanks, "object");
    const std::string name = ">  two  spaces  <";
    blankDocument.replace(blankDocument.find(name), name.size(), ">&#32; two &#32;spaces&#32;&#32;<");
    xml("object-blanks", 2, blankDocument);
    xml("device", 3, CMS_HelperClientLib::RecordToXml(CMS_DeviceData(), "device"));
    xml("group", 4, CMS_HelperClientLib::RecordToXml(CMS_ObjectGroupData(), "objectgroup"));
    xml("sensor", 5, CMS_HelperClientLib::RecordToXml(sensor(1), "sensor"));
    CMS_ObjectClientData client;
    client.Settings = "Phone1=8 (912) 345-67-89\n";
    xml("client", 6, CMS_HelperClientLib::RecordToXml(client, "client"));
    xml("pin", 7, CMS_HelperClientLib::RecordToXml(CMS_ObjectPinData(), "pin"));
}

// ---- Packages ---------------------------------------------------------------------

void package(const std::string& name, const ziptest::Archive& archive)
{
    put("zip_package", name, ziptest::Build(archive).bytes);
}

void zip_package()
{
    const std::string body = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>\r\n<Object Name=\"x\"/>\r\n";
    ziptest::Archive deflated;
    deflated.entries = {ziptest::MakeEntry("main.xml", body)};
    package("deflated", deflated);

    ziptest::Archive stored;
    stored.entries = {ziptest::MakeEntry("main.xml", body, 0), ziptest::MakeEntry("notes.txt", "notes", 0)};
    stored.comment = "package";
    package("stored", stored);

    ziptest::Archive folders;
    ziptest::Entry folder = ziptest::MakeEntry("sub/", "", 0);
    folder.system = 3;
    folder.externalAttributes = 0x41ED0010;
    ziptest::Entry nested = ziptest::MakeEntry("sub/deeper/file.txt", "nested");
    nested.system = 3;
    nested.externalAttributes = 0x81A40000;
    folders.entries = {folder, nested, ziptest::MakeEntry("main.xml", body)};
    folders.directoryOrder = {2, 0, 1};
    package("folders", folders);

    ziptest::Archive descriptor;
    ziptest::Entry described = ziptest::MakeEntry("main.xml", body);
    described.descriptor = ziptest::Entry::Descriptor::WithSignature;
    ziptest::Entry bare = ziptest::MakeEntry("other.xml", body);
    bare.descriptor = ziptest::Entry::Descriptor::WithoutSignature;
    descriptor.entries = {described, bare};
    descriptor.stub = "MZ stub in front";
    package("descriptor", descriptor);

    ziptest::Archive empty;
    package("empty", empty);

    // The body as declared, and more of it in the stream.
    ziptest::Archive overlong;
    ziptest::Entry longer = ziptest::MakeEntry("main.xml", body + body);
    longer.uncompressedSize = static_cast<uint32_t>(body.size());
    longer.crc = ziptest::Crc32(body);
    overlong.entries = {longer};
    package("overlong", overlong);
}

// ---- Bridge ------------------------------------------------------------------------

// A video client's stream, after the byte that sets the harness's chunk size.
void link(const std::string& name, uint8_t chunk, const std::vector<std::vector<uint8_t>>& frames)
{
    Bytes input(1, static_cast<char>(chunk));
    for (const std::vector<uint8_t>& frame : frames)
        input.append(frame.begin(), frame.end());
    put("bridge_link", name, input);
}

void bridge_link()
{
    const auto login = make_link_frame(LINK_LOGIN, link_login_text("pelto", "pelto"));
    const auto state = make_link_frame(LINK_GET_STATE, "");
    link("login-state", 127, {login, state, make_link_frame(0x42, "?"), login, state});
    link("bytewise", 0, {login, state});
    link("large-request", 3, {login, make_link_frame(LINK_GET_STATE, std::string(3000, 'x')), state});
    link("wrong-password", 127, {make_link_frame(LINK_LOGIN, link_login_text("pelto", "other"))});
    link("no-login", 127, {state});
    link("bad-start", 127, {login, {0x0A, 0x25, 0, 0, 0, 0, LINK_GET_STATE}});
}

void bridge_files()
{
    const char* h = "bridge_files";
    const std::filesystem::path ini = std::filesystem::temp_directory_path() / "korvel-fuzz-seeds-connection.ini";
    if (create_default_ini(ini.string())) {
        std::ifstream in(ini, std::ios::binary);
        const Bytes defaults((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::filesystem::remove(ini);
        put(h, "ini-defaults", defaults + '\0');
        Bytes windows = "\xEF\xBB\xBF";
        for (char c : defaults)
            windows += c == '\n' ? Bytes("\r\n") : Bytes(1, c);
        put(h, "ini-windows", windows + "host  \tstation one # trailing blanks stay\r\nport 99999\r\n" + '\0');
    }
    put(h, "dictionary", Bytes("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root><Template>\n"
                               "<Param id=\"2\"><Param id=\"4\" text=\"\xD0\x92\xD0\xB7\xD1\x8F\xD1\x82\xD0\xB8\xD0\xB5\"/>"
                               "<Param id=\"5\" text=\"off\"/><Param id=\"5\" text=\"again\"/></Param>\n"
                               "<Param id=\" 3 \"><Param id=\"9\" text=\"alarm\"/></Param><Param id=\"7\"/>\n"
                               "<Group id=\"8\"><Param id=\"1\" text=\"not a type\"/></Group>\n"
                               "</Template></Root>\n") + '\1');
}

void bridge_documents()
{
    const char* h = "bridge_documents";
    const CMS_ObjectData one = object(1);
    CMS_ObjectData unnumbered = object(2);
    unnumbered.ID = -1;
    put(h, "objects", CMS_HelperClientLib::BuildListXml({&one, &unnumbered}, "object") + '\0');
    const CMS_ObjectSensorData first = sensor(1);
    const CMS_ObjectSensorData other = sensor(2);
    put(h, "sensors", CMS_HelperClientLib::BuildListXml({&first, &other}, "sensor") + '\1');
    CMS_ObjectGroupData group;
    group.ID = 1;
    put(h, "groups", CMS_HelperClientLib::RecordToXml(group, "objectgroup") + '\2');
    const CMS_SimpleEventData alarm = event(3, 5);
    const CMS_SimpleEventData armed = event(2, 4);
    put(h, "events", CMS_HelperClientLib::BuildListXml({&alarm, &armed}, "event") + '\3');
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: fuzz-seeds CORPUS_FOLDER\n"
                    "Writes the seed corpora of the fuzz harnesses into CORPUS_FOLDER/<harness>/\n"
                    "(fuzz/corpus in the repository) from the project's own writers.\n");
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "fuzz-seeds: CORPUS_FOLDER expected, %d arguments given (--help shows the usage)\n",
                     argc - 1);
        return 2;
    }
    corpus = argv[1];
    station_stream();
    station_answers();
    library_ini();
    library_xml();
    zip_package();
    bridge_link();
    bridge_files();
    bridge_documents();
    return 0;
}
