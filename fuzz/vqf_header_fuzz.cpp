// VQF header: arbitrary bytes as the body of a top-level chunk, split into sub-chunks
// and read back into a setup record.
#include <cstring>
#include <vector>

#include "tvq/tvq_records.h"
#include "vqfheader/chunk_chunk.h"
#include "vqfheader/header_manager.h"
#include "vqfheader/header_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tembrel;
    CChunkChunk top(kTvqVersionId, std::vector<uint8_t>(data, data + size));
    auto manager = CreateHeaderManager(top);
    if (manager) {
        HeaderInfo info;
        std::memset(&info, 0x55, sizeof info);
        ReadHeaderInfo(*manager, info);
        for (const auto& [id, chunk] : manager->scndChunks()) (void)chunk.data();
    }
    return 0;
}
