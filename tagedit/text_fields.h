// The six texts the tag editor edits: the header's text chunks in the order a rewritten
// header holds them, and the editor's field for each (its label and control id).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "vqfheader/text_chunks.h"

namespace tembrel::tagedit {

inline constexpr std::size_t kTextCount = kUserTextChunks.size();

// One entry per chunk of kUserTextChunks: its bytes as stored (CP932 where Japanese,
// without terminator), or nothing when the header has no such chunk.
using StoredTexts = std::array<std::optional<std::string>, kTextCount>;

// The longest text the editor stores, in CP932 bytes.
inline constexpr std::size_t kMaxTextBytes = 1023;

struct EditorField {
    std::string_view chunkId;
    std::string_view label;
    int controlId;
};

// In the order the editor shows them.
inline constexpr std::array<EditorField, kTextCount> kEditorFields{{
    {kTitleChunk.id, "曲名", 1026},
    {kAuthorChunk.id, "作者", 1027},
    {kCopyrightChunk.id, "著作権者", 1028},
    {kFileChunk.id, "ファイル名", 1029},
    {kCommentChunk.id, "コメント", 1030},
    {kExtraChunk.id, "拡張文字", 1031},
}};

// The index of `id` in kUserTextChunks (and so in StoredTexts); nothing for other ids.
std::optional<std::size_t> textIndex(std::string_view id);

// The editor's label of the text at `index`.
std::string_view textLabel(std::size_t index);

}  // namespace tembrel::tagedit
