// A parsed VQF header: the sub-chunks of the top-level chunk and of its "SCND"
// container, looked up by id. When an id occurs more than once the first one counts.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "vqfheader/chunk.h"
#include "vqfheader/chunk_chunk.h"

namespace tembrel {

class CHeaderManager {
  public:
    // A sub-chunk declares more bytes than its container has left.
    struct err_WrongChunkFormat {};
    // GetChunk: no chunk of that id at the top level.
    struct err_FailGetChunk {};

    using ChunkMap = std::map<std::string, CChunk>;

    CHeaderManager() = default;
    virtual ~CHeaderManager() = default;

    // Fills both maps from `top` (its read position moves). Throws
    // err_WrongChunkFormat; the entries read before the fault stay.
    void Parse(CChunkChunk& top);
    // A copy of the top-level chunk stored under `id`; throws err_FailGetChunk.
    CChunk GetChunk(std::string_view id) const;
    std::string GetId() const { return id_; }

    const ChunkMap& chunks() const { return chunks_; }
    const ChunkMap& scndChunks() const { return scndChunks_; }

  private:
    friend std::unique_ptr<CHeaderManager> CreateHeaderManager(CChunkChunk& top);
    static void ReadChunks(ChunkMap& map, CChunkChunk& container);

    ChunkMap chunks_;
    ChunkMap scndChunks_;
    std::string id_;
};

// Parses `top` into a new manager, or nullptr when a sub-chunk is cut short or the
// top-level id is empty.
std::unique_ptr<CHeaderManager> CreateHeaderManager(CChunkChunk& top);

}  // namespace tembrel
