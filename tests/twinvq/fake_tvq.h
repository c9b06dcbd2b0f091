// A test double of the codec library functions the frame writer and reader call, with
// a configuration each test chooses: any widths and counts, mono or stereo, pitch and
// pb parts on or off, and a short-block update that changes the shape count and
// widths (the same sequence of updates on the encoding and the decoding side).
#pragma once

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "tvq/tvq_records.h"

namespace tembrel::fake {

// What one call of the short-block update sets.
struct ShortBlockUpdate {
    int32_t count = 0;
    std::vector<int32_t> shape0;
    std::vector<int32_t> shape1;
};

struct Config {
    ConfInfo conf{};
    // The library's width tables: entries 0-2 per block type, 3 for the pitch codebook.
    std::array<std::vector<int32_t>, 4> shape0;
    std::array<std::vector<int32_t>, 4> shape1;
    // Applied in turn, one per update call; empty: the update changes nothing.
    std::vector<ShortBlockUpdate> updates;
    // Frame length reported; the queue, while not empty, gives one length per call.
    int fixedBits = 0;
    std::deque<int> fixedBitsQueue;
    // Window types 0 .. maxWindowType are valid; block type = window type % 3.
    int maxWindowType = 8;
    std::string acceptedId = kTvqVersionId;
};

struct Calls {
    int encoderUpdates = 0;
    int decoderUpdates = 0;
    int checkVersion = 0;
};

// Installs `config` for both sides and clears the call counts.
void install(const Config& config);
Config& config();
Calls& calls();
// The encoder side's records, as the encoder driver would fetch them.
void encoderTables(ConfInfo& conf, VectorInfo& vectors);

}  // namespace tembrel::fake
