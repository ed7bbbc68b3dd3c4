// The station's byte stream as the connection's receive thread takes it in:
// frames recognised in the receive buffer, fragments reassembled, answers routed,
// notifications unscrambled and queued for the instance's worker, which applies
// them to the caches and queues events that the host reads as documents.
//
// Input: one byte giving the size of the pieces the stream arrives in (0: all at
// once), then the bytes as a station sends them. With 0xFF in front instead, the
// next byte picks a frame size and the rest is one message, cut into frames by
// the library's own framing: it must arrive whole, once, as it was sent.

#include "FuzzSupport.h"

#include "base/CByteStream.h"
#include "client/CMS_HelperClientLib.h"
#include "client/CMS_ServerClient.h"
#include "wire/CLanPacket.h"
#include "wire/CLanPacketHelper.h"
#include "wire/KvtpFrame.h"
#include "wire/StationMessageType.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// A connection whose bytes come from the harness instead of a socket; it keeps
// the data of every message it is handed, as they arrive.
class StreamConnection : public CMS_ServerClient
{
public:
    using CLanClient::TakeInBytes;

    std::vector<std::vector<uint8_t>> messages;

protected:
    int32_t OnMessage(CLanPacket& message, CMS_HelperServer* owner, CByteStream& data) override
    {
        const uint8_t* bytes = data.GetData();
        messages.emplace_back(bytes, bytes + (bytes != nullptr ? data.GetLength() : 0));
        return CMS_ServerClient::OnMessage(message, owner, data);
    }
};

struct Harness
{
    fuzzsupport::LibrarySandbox sandbox{"stream"};
    // Made after the sandbox, so its settings file lands there.
    std::unique_ptr<CMS_HelperClientLib> instance = std::make_unique<CMS_HelperClientLib>();
};

} // namespace

FUZZ_HARNESS_STATE(Harness, "Feeds the station's byte stream through the connection's receive path.")

namespace {

// What the instance's worker does with the queued notifications.
void dispatch_queued(CMS_HelperClientLib& instance, CMS_ServerClient& connection)
{
    CMS_HelperClientLib::Packet packet;
    while (instance.PopPacket(packet)) {
        CByteStream stream;
        if (packet.buffer)
            stream.Attach(packet.buffer.get(), packet.length);
        instance.DispatchNotification(&connection, packet.code, stream);
        packet = CMS_HelperClientLib::Packet();
    }
}

void take_in(StreamConnection& connection, const uint8_t* data, size_t size, size_t piece)
{
    for (size_t offset = 0; offset < size;) {
        const size_t n = std::min(piece, size - offset);
        if (!connection.TakeInBytes(data + offset, static_cast<int32_t>(n)))
            break;  // the receive thread would end here
        offset += n;
    }
}

// One message through the library's own framing and back.
void round_trip(StreamConnection& connection, uint8_t frameByte, const uint8_t* data, size_t size)
{
    const int32_t frameSize = KvtpFrame::kHeaderSize + 1 + frameByte * 32;
    CLanPacket sent;
    FUZZ_CHECK(sent.Create(kMessageRequest, 0, data, static_cast<int32_t>(size)), "cannot make the message");
    CLanPacketHelper framing;
    std::vector<uint8_t> frame(static_cast<size_t>(frameSize));
    std::vector<uint8_t> stream;
    for (int32_t index = 0; index < framing.GetFrameCount(sent, frameSize); ++index) {
        int32_t length = 0;
        FUZZ_CHECK(framing.BuildFrame(sent, index, frame.data(), frameSize, length) == 1, "a frame is not built");
        stream.insert(stream.end(), frame.begin(), frame.begin() + length);
    }
    take_in(connection, stream.data(), stream.size(), 1 + frameByte);
    FUZZ_CHECK(connection.messages.size() == 1, "a framed message does not arrive exactly once");
    FUZZ_CHECK(connection.messages[0] == std::vector<uint8_t>(data, data + size),
               "a framed message arrives changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    CMS_HelperClientLib& instance = *harness->instance;
    StreamConnection connection;
    connection.Init(&instance);
    if (data[0] == 0xFF) {
        if (size < 2)
            return 0;
        round_trip(connection, data[1], data + 2, size - 2);
    } else {
        take_in(connection, data + 1, size - 1, data[0] == 0 ? size : data[0]);
    }

    dispatch_queued(instance, connection);
    static char document[65536];
    while (instance.ReadEvent(document, sizeof document)) {
    }
    return 0;
}
