#include "vqfheader/chunk_chunk.h"

namespace tembrel {

CChunkChunk::CChunkChunk(std::string id) : CChunk(std::move(id)) {}

CChunkChunk::CChunkChunk(std::string id, std::vector<uint8_t> data)
    : CChunk(std::move(id), std::move(data)) {}

CChunkChunk::CChunkChunk(const CChunk& chunk) : CChunk(chunk.id(), chunk.data()) {}

void CChunkChunk::PutChunk(const CChunk& sub) {
    PutString(sub.id());
    PutInteger(int32_t(uint32_t(sub.data().size())), 4);
    PutData(sub.data());
}

std::unique_ptr<CChunk> CChunkChunk::GetChunk(int32_t idLength) {
    std::string id = GetString(idLength);
    if (id.empty())
        return nullptr;
    auto chunk = std::make_unique<CChunk>(std::move(id));
    const int32_t size = GetInteger(4);
    if (size > 0) {
        std::vector<uint8_t> bytes = GetData(size);
        if (bytes.empty())
            throw err_FailGetChunk{};
        chunk->PutData(bytes);
    }
    return chunk;
}

}  // namespace tembrel
