// The byte stream between a job and its worker processes. Whatever comes in, reading
// ends; the input is fed in pieces whose sizes its first byte chooses; every message read
// is written back as exactly the bytes it was read from (the format is canonical).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "driver/worker_messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tembrel::worker;
    if (size == 0)
        return 0;
    const std::size_t piece = std::size_t(data[0] % 16) + 1;
    const std::span<const uint8_t> stream(data + 1, size - 1);

    MessageReader reader;
    std::vector<uint8_t> written;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        reader.feed(stream.subspan(at, std::min(piece, stream.size() - at)));
        while (const auto message = reader.next()) {
            const std::vector<uint8_t> frame = encodeMessage(*message);
            written.insert(written.end(), frame.begin(), frame.end());
        }
    }
    // What was read is the stream's beginning; unless the stream broke, all but a
    // message still incomplete at its end.
    if (written.size() > stream.size() ||
        !std::equal(written.begin(), written.end(), stream.begin()))
        __builtin_trap();
    if (!reader.broken() && written.size() + reader.pending() != stream.size())
        __builtin_trap();
    return 0;
}
