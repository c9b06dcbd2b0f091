#include "vqfheader/header_manager.h"

namespace tembrel {

void CHeaderManager::ReadChunks(ChunkMap& map, CChunkChunk& container) {
    container.Rewind();
    try {
        while (std::unique_ptr<CChunk> sub = container.GetChunk(4)) {
            const std::string id = sub->id();
            map.try_emplace(id, std::move(*sub));
        }
    } catch (const CChunkChunk::err_FailGetChunk&) {
        throw err_WrongChunkFormat{};
    }
}

void CHeaderManager::Parse(CChunkChunk& top) {
    ReadChunks(chunks_, top);
    try {
        CChunkChunk scnd(GetChunk("SCND"));
        ReadChunks(scndChunks_, scnd);
    } catch (const err_FailGetChunk&) {
        // No "SCND" container: nothing more to read.
    }
}

CChunk CHeaderManager::GetChunk(std::string_view id) const {
    auto it = chunks_.find(std::string(id));
    if (it == chunks_.end())
        throw err_FailGetChunk{};
    return it->second;
}

std::unique_ptr<CHeaderManager> CreateHeaderManager(CChunkChunk& top) {
    auto manager = std::make_unique<CHeaderManager>();
    try {
        manager->Parse(top);
    } catch (const CHeaderManager::err_WrongChunkFormat&) {
        return nullptr;
    }
    manager->id_ = top.id();
    if (manager->id_.empty())
        return nullptr;
    return manager;
}

}  // namespace tembrel
