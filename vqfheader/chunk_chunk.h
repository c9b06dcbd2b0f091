// A chunk whose data is a run of sub-chunks in wire form: 4 id characters, the data
// size as a big-endian 32-bit number, then the data, back to back with no padding.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vqfheader/chunk.h"

namespace tembrel {

class CChunkChunk : public CChunk {
  public:
    // Thrown by GetChunk when a sub-chunk is cut short.
    struct err_FailGetChunk {};

    explicit CChunkChunk(std::string id);
    // A container over existing bytes, such as a header read from a file.
    CChunkChunk(std::string id, std::vector<uint8_t> data);
    // Takes the id and data of any chunk, to read it as a container.
    explicit CChunkChunk(const CChunk& chunk);

    // Appends `sub` in wire form.
    void PutChunk(const CChunk& sub);
    // The next sub-chunk as a plain chunk, or nullptr when fewer than `idLength` bytes
    // remain (trailing stray bytes are ignored). A declared size above the bytes left,
    // or an incomplete size field, throws err_FailGetChunk. A size with the top bit
    // set counts as no data.
    std::unique_ptr<CChunk> GetChunk(int32_t idLength = 4);
};

}  // namespace tembrel
