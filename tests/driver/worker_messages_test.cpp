// The messages between a job and its workers: every kind comes through however the
// stream is cut, and a stream that is not ours breaks for good instead of being guessed at.
#include <gtest/gtest.h>

#include "driver/worker_messages.h"

namespace tembrel::worker {
namespace {

const Message kEveryKind[] = {
    Ready{},
    EncodeRequest{"/music/アルバム", "a b.wav", "a b.vqf", {8, 24, 40, 16, 48, 80}, true, true},
    TemporaryFile{"/music/.tembrel-abc.tmp"},
    Progress{17, -3},
    Result{Result::End::Cancelled, "", "cut short: 1.000 s of 2.000 s", "x/.t.tmp", 0640},
    Result{Result::End::Failed, "not a WAV, MP3, RMP or VQF file that can be read", "", "", 0},
};

TEST(WorkerMessagesTest, EveryKindComesThroughWholeOrByteByByte) {
    std::vector<uint8_t> stream;
    for (const Message& m : kEveryKind) {
        const std::vector<uint8_t> frame = encodeMessage(m);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    for (const std::size_t piece : {stream.size(), std::size_t(1), std::size_t(7)}) {
        SCOPED_TRACE(piece);
        MessageReader reader;
        std::vector<Message> got;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            reader.feed(std::span(stream).subspan(at, std::min(piece, stream.size() - at)));
            while (auto m = reader.next())
                got.push_back(*m);
        }
        EXPECT_FALSE(reader.broken());
        EXPECT_EQ(reader.pending(), 0u);
        EXPECT_EQ(got, std::vector<Message>(std::begin(kEveryKind), std::end(kEveryKind)));
    }
}

TEST(WorkerMessagesTest, AStreamThatIsNotOursBreaks) {
    const std::vector<uint8_t> good = encodeMessage(Progress{1, 2});
    const auto changed = [&good](std::size_t at, uint8_t value) {
        std::vector<uint8_t> bytes = good;
        bytes[at] = value;
        return bytes;
    };
    std::vector<uint8_t> trailing = encodeMessage(TemporaryFile{"ab"});
    trailing[4] += 1;  // the payload claims a byte more than its fields use
    trailing.push_back(0);
    std::vector<uint8_t> withNul = encodeMessage(TemporaryFile{"ab"});
    withNul.back() = 0;
    std::vector<uint8_t> badEnd = encodeMessage(Result{});
    badEnd[8] = 3;
    std::vector<uint8_t> badFlag = encodeMessage(EncodeRequest{});
    badFlag.back() = 2;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"another magic", changed(0, 'X')},
        {"another version", changed(2, kProtocolVersion + 1)},
        {"an unknown type", changed(3, 99)},
        {"an oversized frame", changed(7, 0x7F)},
        {"a payload too short for its fields", changed(4, 7)},
        {"bytes left over", trailing},
        {"a NUL in a text", withNul},
        {"an unknown end", badEnd},
        {"a flag that is neither 0 nor 1", badFlag},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MessageReader reader;
        reader.feed(c.bytes);
        reader.feed(good);
        EXPECT_EQ(reader.next(), std::nullopt);
        EXPECT_TRUE(reader.broken());
        EXPECT_EQ(reader.next(), std::nullopt);
    }
}

}  // namespace
}  // namespace tembrel::worker
