// Builds the header of a new VQF file from the setup record and the import folder.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/text_field.h"
#include "tvq/tvq_records.h"
#include "vqfheader/chunk_chunk.h"

namespace tembrel {

// The top-level chunk (id: the record's version id) with "COMM", the non-empty texts,
// "DSIZ" when dataSize is above 0, the imported chunks and, when anything was imported
// for it, the "SCND" container. nullptr on failure. `importFolder` may be missing.
std::unique_ptr<CChunkChunk> BuildHeader(const HeaderInfo& info, const std::string& importFolder);

// Appends "COMM", the text chunks and "DSIZ" built from `info`; 0.
int AddHeaderInfoChunks(const HeaderInfo& info, CChunkChunk& target);

// Appends a text chunk when `text` is not empty.
void AddTextChunk(std::string_view id, std::string_view text, CChunkChunk& target);

}  // namespace tembrel
