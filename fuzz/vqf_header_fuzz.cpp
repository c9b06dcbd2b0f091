// VQF header: arbitrary bytes as the body of a top-level chunk, split into sub-chunks
// and read back into a setup record. Every sub-chunk found is then read the ways the
// program reads chunks: as the four "COMM" values, and field by field with widths and
// counts taken from its own bytes, which must never read past its data.
#include <cstring>
#include <vector>

#include "tvq/tvq_records.h"
#include "vqfheader/chunk_chunk.h"
#include "vqfheader/header_manager.h"
#include "vqfheader/header_reader.h"
#include "vqfheader/value_chunks.h"

namespace {

using namespace tembrel;

void readFields(CChunk chunk) {
    try {
        const CCommChunk comm(chunk);
        (void)comm.securityLevel;
    } catch (const CChunkChunk::err_FailGetChunk&) {
    }
    chunk.Rewind();
    // At most one step per byte, and every step either moves or ends the loop.
    for (std::size_t step = 0; step <= chunk.data().size(); ++step) {
        const std::size_t at = chunk.readPos();
        const uint8_t selector = at < chunk.data().size() ? chunk.data()[at] : 0;
        const int32_t count = int32_t(selector >> 2);
        std::size_t moved = 0;
        try {
            switch (selector & 3) {
                case 0:
                    chunk.GetInteger(count % 6);  // 5 is out of range and must throw
                    break;
                case 1:
                    moved = chunk.GetString(count).size();
                    break;
                case 2:
                    moved = chunk.GetData(count).size();
                    break;
                default:
                    chunk.GetInteger(1);
                    break;
            }
        } catch (const CChunkChunk::err_FailGetChunk&) {
            break;
        }
        if (chunk.readPos() > chunk.data().size() || (moved != 0 && chunk.readPos() != at + moved))
            __builtin_trap();
        // A step that took nothing (a zero count) moves on by one byte.
        try {
            if (chunk.readPos() == at)
                chunk.GetInteger(1);
        } catch (const CChunkChunk::err_FailGetChunk&) {
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CChunkChunk top(kTvqVersionId, std::vector<uint8_t>(data, data + size));
    auto manager = CreateHeaderManager(top);
    if (manager) {
        HeaderInfo info;
        std::memset(&info, 0x55, sizeof info);
        ReadHeaderInfo(*manager, info);
        if (std::memchr(info.id, 0, sizeof info.id) == nullptr)
            __builtin_trap();
        for (const auto& [id, chunk] : manager->chunks())
            readFields(chunk);
        for (const auto& [id, chunk] : manager->scndChunks())
            readFields(chunk);
    }
    return 0;
}
