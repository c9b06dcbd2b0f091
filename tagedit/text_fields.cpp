#include "tagedit/text_fields.h"

namespace tembrel::tagedit {

std::optional<std::size_t> textIndex(std::string_view id) {
    const TextChunkId* row = findTextChunk(kUserTextChunks, id);
    if (!row)
        return std::nullopt;
    return std::size_t(row - kUserTextChunks.data());
}

std::string_view textLabel(std::size_t index) {
    for (const EditorField& field : kEditorFields) {
        if (field.chunkId == kUserTextChunks[index].id)
            return field.label;
    }
    return kUserTextChunks[index].name;
}

}  // namespace tembrel::tagedit
