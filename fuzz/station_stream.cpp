// The station's byte stream as the connection's receive thread takes it in:
// frames recognised in the receive buffer, fragments reassembled, answers routed,
// notifications unscrambled and queued for the instance's worker, which applies
// them to the caches and queues events that the host reads as documents.
//
// Input: one byte giving the size of the pieces the stream arrives in (0: all at
// once), then the bytes as a station sends them.

#include "FuzzSupport.h"

#include "base/CByteStream.h"
#include "client/CMS_HelperClientLib.h"
#include "client/CMS_ServerClient.h"


#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

// A connection whose bytes come from the harness instead of a socket.
class StreamConnection : public CMS_ServerClient
{
public:
    using CLanClient::TakeInBytes;
};

struct Harness
{
    fuzzsupport::LibrarySandbox sandbox{"stream"};
    // Made after the sandbox, so its settings file lands there.
    std::unique_ptr<CMS_HelperClientLib> instance = std::make_unique<CMS_HelperClientLib>();
};

} // namespace

FUZZ_HARNESS_STATE(Harness)

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

} // namespace


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    CMS_HelperClientLib& instance = *harness->instance;
    const size_t piece = data[0] == 0 ? size : data[0];
    ++data;
    --size;

    StreamConnection connection;
    connection.Init(&instance);
    for (size_t offset = 0; offset < size;) {
        const size_t n = std::min(piece, size - offset);
        if (!connection.TakeInBytes(data + offset, static_cast<int32_t>(n)))
            break;  // the receive thread would end here
        offset += n;
    }

    dispatch_queued(instance, connection);
    static char document[65536];
    while (instance.ReadEvent(document, sizeof document)) {
    }
    return 0;
}
