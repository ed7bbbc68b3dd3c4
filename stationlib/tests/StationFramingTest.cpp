#include "wire/CLanPacket.h"
#include "wire/CLanPacketHelper.h"
#include "wire/KvtpFrame.h"
#include "wire/StationMessageType.h"
#include "WireBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int32_t kMax = 8192;
constexpr int32_t kRoom = kMax - KvtpFrame::kHeaderSize;

int32_t word_at(const std::vector<uint8_t>& frame, int offset)
{
    int32_t v;
    std::memcpy(&v, frame.data() + offset, 4);
    return v;
}

// Cuts a packet into its frames as the connection sends them.
std::vector<std::vector<uint8_t>> frames_of(const CLanPacket& packet, int32_t maximum = kMax)
{
    CLanPacketHelper helper;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint8_t> buffer(static_cast<size_t>(maximum));
    const int32_t count = helper.GetFrameCount(packet, maximum);
    for (int32_t i = 0; i < count; ++i) {
        int32_t size = 0;
        EXPECT_EQ(helper.BuildFrame(packet, i, buffer.data(), maximum, size), 1);
        frames.emplace_back(buffer.begin(), buffer.begin() + size);
    }
    return frames;
}

// Hands each frame to the assembly as the receive thread does, collecting the
// messages that complete.
struct Receiver
{
    CLanPacketHelper helper;
    CLanPacket assembly;
    std::vector<std::vector<uint8_t>> messages;

    void Feed(const std::vector<uint8_t>& frame)
    {
        CLanPacket fragment;
        ASSERT_EQ(helper.ParseFrame(frame.data(), static_cast<int32_t>(frame.size()), &fragment),
                  static_cast<int32_t>(frame.size()));
        if (!assembly.AppendFragment(fragment)) {
            assembly.Free();
            assembly.AppendFragment(fragment);
        }
        if (assembly.IsComplete()) {
            const uint8_t* data = assembly.GetData();
            messages.emplace_back(data, data + assembly.GetDataLength());
            assembly.Free();
        }
    }
};

} // namespace

TEST(StationFrames, EmptyRequestBodyIsOne32ByteFrame)
{
    CLanPacket request;
    ASSERT_TRUE(request.CreateRequest(105, nullptr, 0));
    const auto frames = frames_of(request);
    ASSERT_EQ(frames.size(), 1u);
    const auto& f = frames[0];
    ASSERT_EQ(f.size(), 32u);
    EXPECT_EQ(std::memcmp(f.data(), "KVTP", 4), 0);
    EXPECT_EQ(word_at(f, KvtpFrame::kTypeOffset), kMessageRequest);
    EXPECT_EQ(word_at(f, KvtpFrame::kTotalLengthOffset), 4);
    EXPECT_EQ(word_at(f, KvtpFrame::kFrameLengthOffset), 4);
    EXPECT_EQ(word_at(f, KvtpFrame::kValueOffset), 0);
    EXPECT_EQ(word_at(f, KvtpFrame::kCountOffset), 1);
    EXPECT_EQ(word_at(f, KvtpFrame::kIndexOffset), 0);
    EXPECT_EQ(word_at(f, 28), 105);
}

TEST(StationFrames, FragmentBoundaries)
{
    struct Case
    {
        int32_t length;
        std::vector<int32_t> frameLengths;
    } cases[] = {
        {0, {0}},
        {kRoom - 1, {kRoom - 1}},
        {kRoom, {kRoom, 0}},  // an exact multiple ends with a header-only frame
        {kRoom + 1, {kRoom, 1}},
        {3 * kRoom, {kRoom, kRoom, kRoom, 0}},
    };
    for (const Case& c : cases) {
        CLanPacket packet;
        const auto data = pattern(static_cast<size_t>(c.length));
        ASSERT_TRUE(packet.Create(kMessageAnswer, 7, data.data(), c.length));
        const auto frames = frames_of(packet);
        ASSERT_EQ(frames.size(), c.frameLengths.size()) << c.length;
        std::vector<uint8_t> joined;
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(word_at(frames[i], KvtpFrame::kFrameLengthOffset), c.frameLengths[i]);
            EXPECT_EQ(word_at(frames[i], KvtpFrame::kTotalLengthOffset), c.length);
            EXPECT_EQ(word_at(frames[i], KvtpFrame::kCountOffset), static_cast<int32_t>(frames.size()));
            EXPECT_EQ(word_at(frames[i], KvtpFrame::kIndexOffset), static_cast<int32_t>(i));
            EXPECT_EQ(word_at(frames[i], KvtpFrame::kValueOffset), 7);
            EXPECT_LE(frames[i].size(), static_cast<size_t>(kMax));
            joined.insert(joined.end(), frames[i].begin() + KvtpFrame::kHeaderSize, frames[i].end());
        }
        EXPECT_EQ(joined, data);

        Receiver receiver;
        for (const auto& f : frames)
            receiver.Feed(f);
        ASSERT_EQ(receiver.messages.size(), 1u) << c.length;
        EXPECT_EQ(receiver.messages[0], data);
    }
}

TEST(StationFrames, BuildFrameRefusesBadArguments)
{
    CLanPacketHelper helper;
    CLanPacket packet;
    std::vector<uint8_t> buffer(kMax);
    int32_t size = -1;
    EXPECT_EQ(helper.BuildFrame(packet, 0, buffer.data(), kMax, size), 0);  // empty
    const auto data = pattern(10);
    ASSERT_TRUE(packet.Create(kMessageRequest, 0, data.data(), 10));
    EXPECT_EQ(helper.BuildFrame(packet, -1, buffer.data(), kMax, size), 0);
    EXPECT_EQ(helper.BuildFrame(packet, 1, buffer.data(), kMax, size), 0);
    EXPECT_EQ(helper.BuildFrame(packet, 0, buffer.data(), KvtpFrame::kHeaderSize, size), 0);
    EXPECT_EQ(helper.GetFrameCount(packet, KvtpFrame::kHeaderSize), 0);
    EXPECT_EQ(size, -1);
    EXPECT_FALSE(packet.Create(5, 0, nullptr, 0));
    EXPECT_FALSE(packet.Create(-1, 0, nullptr, 0));
    EXPECT_FALSE(packet.Create(kMessageRequest, 0, nullptr, -1));
    EXPECT_TRUE(packet.IsEmpty());
}

TEST(StationFrames, RecognitionNeedsWholeValidFrames)
{
    const auto data = pattern(12);
    const auto frame = frame_bytes(kMessageAnswer, 12, 12, 1, 0, data);
    std::vector<uint8_t> buffer = frame;
    buffer.insert(buffer.end(), frame.begin(), frame.begin() + static_cast<long>(frame.size() / 2));

    CLanPacketHelper helper;
    CLanPacket packet;
    const int32_t used = helper.ParseFrame(buffer.data(), static_cast<int32_t>(buffer.size()), &packet);
    ASSERT_EQ(used, static_cast<int32_t>(frame.size()));
    EXPECT_EQ(packet.GetType(), kMessageAnswer);
    EXPECT_EQ(std::vector<uint8_t>(packet.GetData(), packet.GetData() + packet.GetDataLength()), data);
    // The half frame behind it is not there yet.
    EXPECT_EQ(helper.ParseFrame(buffer.data() + used, static_cast<int32_t>(buffer.size()) - used, &packet), 0);
    EXPECT_EQ(helper.ParseFrame(buffer.data(), 3, nullptr), 0);
    EXPECT_EQ(helper.ParseFrame(buffer.data(), 27, nullptr), 0);
    EXPECT_EQ(helper.ParseFrame(buffer.data(), static_cast<int32_t>(frame.size()), nullptr),
              static_cast<int32_t>(frame.size()));

    struct Bad
    {
        const char* what;
        std::vector<uint8_t> bytes;
    } bad[] = {
        {"magic", [] { auto f = frame_bytes(3, 0, 0, 1, 0, {}); f[0] = 'X'; return f; }()},
        {"total below frame length", frame_bytes(3, 3, 4, 1, 0, {1, 2, 3, 4})},
        {"type above 4", frame_bytes(5, 0, 0, 1, 0, {})},
        {"negative type", frame_bytes(-1, 0, 0, 1, 0, {})},
        {"negative frame length", frame_bytes(3, 0, -4, 1, 0, {})},
        {"negative total", frame_bytes(3, -1, 0, 1, 0, {})},
    };
    for (const auto& b : bad)
        EXPECT_EQ(helper.ParseFrame(b.bytes.data(), static_cast<int32_t>(b.bytes.size()), &packet), -1) << b.what;
}

TEST(StationFrames, ReassemblyDropsWhatCannotBeWhole)
{
    const std::vector<uint8_t> a = {1, 2}, b = {3, 4}, c = {5, 6};
    const auto f0 = frame_bytes(kMessageRequest, 6, 2, 3, 0, a);
    const auto f1 = frame_bytes(kMessageRequest, 6, 2, 3, 1, b);
    const auto f2 = frame_bytes(kMessageRequest, 6, 2, 3, 2, c);

    Receiver whole;
    whole.Feed(f0);
    whole.Feed(f1);
    EXPECT_TRUE(whole.messages.empty());
    whole.Feed(f2);
    ASSERT_EQ(whole.messages.size(), 1u);
    EXPECT_EQ(whole.messages[0], (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));

    // A lost middle fragment costs the message; its tail never passes for a message.
    Receiver lost;
    lost.Feed(f0);
    lost.Feed(f2);
    EXPECT_TRUE(lost.messages.empty());
    EXPECT_TRUE(lost.assembly.IsEmpty());

    // A lone fragment with a non-zero index begins nothing, nor do those after it,
    // and the next first fragment starts cleanly.
    Receiver tail;
    tail.Feed(f1);
    tail.Feed(f2);
    EXPECT_TRUE(tail.messages.empty());
    tail.Feed(f0);
    tail.Feed(f1);
    tail.Feed(f2);
    ASSERT_EQ(tail.messages.size(), 1u);

    // A message shorter than its announced total is never complete.
    Receiver truncated;
    truncated.Feed(frame_bytes(kMessageRequest, 10, 2, 1, 0, a));
    EXPECT_TRUE(truncated.messages.empty());
    truncated.Feed(frame_bytes(kMessageRequest, 2, 2, 1, 0, a));
    EXPECT_EQ(truncated.messages.size(), 1u);
}

TEST(StationFrames, OversizedMessageIsRefusedWithItsFragments)
{
    const int32_t huge = CLanPacket::kMaxMessageLength + 1;
    Receiver r;
    r.Feed(frame_bytes(kMessageRequest, huge, 2, 2, 0, {1, 2}));
    EXPECT_TRUE(r.assembly.IsEmpty());
    r.Feed(frame_bytes(kMessageRequest, huge, 2, 2, 1, {3, 4}));
    EXPECT_TRUE(r.assembly.IsEmpty());
    EXPECT_TRUE(r.messages.empty());
}

TEST(StationFrames, PacketCopyAndRequestLayout)
{
    const std::vector<uint8_t> body = {9, 8, 7};
    CLanPacket request;
    ASSERT_TRUE(request.CreateRequest(0x01020304, body.data(), 3));
    EXPECT_EQ(request.GetType(), kMessageRequest);
    EXPECT_EQ(request.GetDataLength(), 7);
    EXPECT_EQ(request.GetSize(), 31);
    EXPECT_EQ(std::vector<uint8_t>(request.GetData(), request.GetData() + 7),
              (std::vector<uint8_t>{4, 3, 2, 1, 9, 8, 7}));
    EXPECT_FALSE(request.CreateRequest(1, nullptr, -1));

    CLanPacket source, copy;
    EXPECT_FALSE(copy.CopyFrom(source));
    ASSERT_TRUE(source.Create(kMessageAnswer, 0x55, body.data(), 3));
    ASSERT_TRUE(copy.CopyFrom(source));
    EXPECT_EQ(copy.GetType(), kMessageAnswer);
    EXPECT_EQ(copy.GetHeader()->value, 0x55);
    EXPECT_EQ(std::vector<uint8_t>(copy.GetData(), copy.GetData() + 3), body);

    CLanPacket empty;
    EXPECT_EQ(empty.GetType(), 0);
    EXPECT_EQ(empty.GetData(), nullptr);
    EXPECT_EQ(empty.GetSize(), 0);
    ASSERT_TRUE(empty.Create(kMessagePing, 0, nullptr, 0));
    EXPECT_EQ(empty.GetData(), nullptr);
    EXPECT_EQ(empty.GetSize(), 24);
}
