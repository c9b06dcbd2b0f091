#include "tagedit/header_rewrite.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "platform/byte_order.h"
#include "tagedit/header_texts.h"
#include "tagedit/header_walk.h"
#include "vqfheader/chunk_chunk.h"
#include "vqfheader/header_manager.h"

namespace tembrel::tagedit {
namespace {

void appendChunk(std::vector<uint8_t>& out, std::string_view id, std::span<const uint8_t> data) {
    out.insert(out.end(), id.begin(), id.end());
    uint8_t size[4];
    bytes::storeBE(size, uint32_t(data.size()), 4);
    out.insert(out.end(), std::begin(size), std::end(size));
    out.insert(out.end(), data.begin(), data.end());
}

std::span<const uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::optional<RewrittenHeader> rewriteHeaderBytes(std::span<const uint8_t> source,
                                                  const StoredTexts& texts, std::string& why) {
    const std::optional<HeaderWalk> walk = walkHeader(source);
    if (!walk) {
        why = "not a VQF header whose chunk sizes agree";
        return std::nullopt;
    }
    RewrittenHeader result;
    std::vector<uint8_t>& out = result.bytes;
    out.assign(source.begin(), source.begin() + kHeadBytes);
    bool commSeen = false;
    for (const ChunkSpan& chunk : walk->chunks) {
        if (textIndex(chunk.id()))
            continue;
        appendChunk(out, chunk.id(), source.subspan(chunk.dataOffset(), chunk.size));
        if (chunk.id() != "COMM" || commSeen)
            continue;
        commSeen = true;
        for (std::size_t i = 0; i < kTextCount; ++i) {
            if (texts[i])
                appendChunk(out, kUserTextChunks[i].id, bytesOf(*texts[i]));
        }
    }
    if (!commSeen) {
        why = "the header has no \"COMM\" chunk";
        return std::nullopt;
    }
    const std::size_t bodySize = out.size() - kHeadBytes;
    if (bodySize > std::numeric_limits<uint32_t>::max()) {
        why = "the header would be too large";
        return std::nullopt;
    }
    bytes::storeBE(std::span(out).subspan(12), uint32_t(bodySize), 4);
    out.insert(out.end(), kDataMark.begin(), kDataMark.end());
    if (!holdsTexts(out, texts)) {
        why = "the header's other chunks do not parse";
        return std::nullopt;
    }
    result.frameDataOffset = walk->frameDataOffset;
    return result;
}

bool holdsTexts(std::span<const uint8_t> header, const StoredTexts& texts) {
    const std::optional<HeaderWalk> walk = walkHeader(header);
    if (!walk || textsOfHeader(header, *walk).texts != texts)
        return false;
    CChunkChunk top(std::string(header.begin(), header.begin() + 12),
                    std::vector<uint8_t>(header.begin() + kHeadBytes,
                                         header.begin() + kHeadBytes + walk->bodySize));
    const std::unique_ptr<CHeaderManager> manager = CreateHeaderManager(top);
    if (!manager)
        return false;
    for (std::size_t i = 0; i < kTextCount; ++i) {
        const auto found = manager->chunks().find(std::string(kUserTextChunks[i].id));
        const bool present = found != manager->chunks().end();
        if (present != texts[i].has_value())
            return false;
        if (!present)
            continue;
        const std::vector<uint8_t>& data = found->second.data();
        if (std::string(data.begin(), data.end()) != *texts[i])
            return false;
    }
    return true;
}

}  // namespace tembrel::tagedit
