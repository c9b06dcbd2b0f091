// The import folder: files named after chunk ids become chunks of every header
// written. Files directly in the folder go to the top level, files in its "SCND"
// subfolder into the "SCND" container.
#pragma once

#include <array>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "vqfheader/chunk_chunk.h"

namespace tembrel {

// Builds one chunk with `id` from the open file and appends it to `target`; 0.
using ChunkImporter = int (*)(std::FILE* file, const std::string& id, CChunkChunk& target);

// One decimal integer ("%d"): a 2-byte integer chunk of its low 16 bits.
int ImportIntegerChunk(std::FILE* file, const std::string& id, CChunkChunk& target);
// Two decimal integers ("%d %d"): a year chunk (3 bytes).
int ImportYearChunk(std::FILE* file, const std::string& id, CChunkChunk& target);
// Six decimal integers ("%d %d %d %d %d %d"): an encoding-date chunk (7 bytes).
int ImportEncdChunk(std::FILE* file, const std::string& id, CChunkChunk& target);
// Every byte of the file, unchanged; an empty file gives an empty chunk.
int ImportRawChunk(std::FILE* file, const std::string& id, CChunkChunk& target);

struct ChunkImportRow {
    std::string_view id;
    ChunkImporter importer;
};

extern const std::array<ChunkImportRow, 18> kTopLevelImports;
extern const std::array<ChunkImportRow, 17> kScndImports;

inline constexpr int kImportTopLevel = 0;  // files directly in the folder
inline constexpr int kImportScnd = 1;      // files in its "SCND" subfolder

// Runs the importer of each row whose file exists at `place` under `folder`, in table
// order. Files that are missing, unreadable or not regular files are skipped. Returns
// 0, or 1 for an unknown place.
int ImportChunkFiles(std::span<const ChunkImportRow> table, CChunkChunk& target, int place,
                     const std::string& folder);

}  // namespace tembrel
