#include "vqfheader/header_writer.h"

#include "vqfheader/chunk_import.h"
#include "vqfheader/text_chunks.h"
#include "vqfheader/value_chunks.h"

namespace tembrel {

void AddTextChunk(std::string_view id, std::string_view text, CChunkChunk& target) {
    if (text.empty())
        return;
    target.PutChunk(CStringChunk(std::string(id), text));
}

int AddHeaderInfoChunks(const HeaderInfo& info, CChunkChunk& target) {
    target.PutChunk(
        CCommChunk(info.channelMode, info.bitRate, info.samplingRate, info.securityLevel));
    for (const TextChunkId& text : kSetupTextChunks)
        AddTextChunk(text.id, fieldText(info.*text.field), target);
    if (info.dataSize > 0)
        target.PutChunk(CIntegerChunk<4>("DSIZ", info.dataSize));
    return 0;
}

std::unique_ptr<CChunkChunk> BuildHeader(const HeaderInfo& info, const std::string& importFolder) {
    auto top = std::make_unique<CChunkChunk>(std::string(fieldText(info.id)));
    if (AddHeaderInfoChunks(info, *top) != 0)
        return nullptr;
    if (ImportChunkFiles(kTopLevelImports, *top, kImportTopLevel, importFolder) != 0)
        return nullptr;
    CChunkChunk scnd("SCND");
    if (ImportChunkFiles(kScndImports, scnd, kImportScnd, importFolder) != 0)
        return nullptr;
    if (!scnd.data().empty())
        top->PutChunk(scnd);
    return top;
}

}  // namespace tembrel
