#include "vqfheader/text_chunks.h"

#include <algorithm>

namespace tembrel {

const TextChunkId* findTextChunk(std::span<const TextChunkId> table, std::string_view id) {
    const auto row =
        std::find_if(table.begin(), table.end(), [id](const TextChunkId& r) { return r.id == id; });
    return row == table.end() ? nullptr : &*row;
}

}  // namespace tembrel
