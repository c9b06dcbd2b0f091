// VQF files for the tag editor's tests: one made once by our encoder from an MP3 that
// lame tagged (with a "header_info" folder adding a "SCND" chunk), taken apart into its
// version id, chunks and frame data, and put together again with other chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tembrel::test {

struct Chunk {
    std::string id;
    std::string data;
    bool operator==(const Chunk&) const = default;
};

struct VqfParts {
    std::string versionId;
    std::vector<Chunk> chunks;
    std::vector<uint8_t> frameData;
};

// The chunks as the head's size delimits them; the frame data is all after "DATA".
VqfParts partsOf(const std::vector<uint8_t>& file);
std::vector<uint8_t> bytesOf(const VqfParts& parts);

// The encoder's output for a lame MP3 tagged title "雨の歌", artist "作者", comment
// "comment", year 2003, track 7: COMM, NAME, COMT, AUTH, TRAC, YEAR, SCND.
const VqfParts& encodedVqf();

}  // namespace tembrel::test
