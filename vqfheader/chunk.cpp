#include "vqfheader/chunk.h"

#include "platform/byte_order.h"
#include "vqfheader/chunk_chunk.h"

namespace tembrel {

CChunk::CChunk(std::string id) : id_(std::move(id)) {}

CChunk::CChunk(std::string id, std::vector<uint8_t> data)
    : id_(std::move(id)), data_(std::move(data)) {}

void CChunk::PutBytes(int32_t count, const void* bytes) {
    if (count <= 0 || bytes == nullptr)
        return;
    const auto* first = static_cast<const uint8_t*>(bytes);
    data_.insert(data_.end(), first, first + count);
}

void CChunk::PutData(std::span<const uint8_t> bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
}

void CChunk::PutString(std::string_view text) {
    data_.insert(data_.end(), text.begin(), text.end());
}

void CChunk::PutInteger(int32_t value, int32_t width) {
    if (uint32_t(width) > 4)
        throw err_FailPut{};
    bytes::appendBE(data_, uint32_t(value), size_t(width));
}

std::string CChunk::GetString(int32_t count) {
    if (count <= 0 || size_t(count) > remaining())
        return {};
    std::string text(data_.begin() + std::ptrdiff_t(readPos_),
                     data_.begin() + std::ptrdiff_t(readPos_ + size_t(count)));
    readPos_ += size_t(count);
    return text;
}

std::vector<uint8_t> CChunk::GetData(int32_t count) {
    if (count <= 0 || size_t(count) > remaining())
        return {};
    std::vector<uint8_t> bytes(data_.begin() + std::ptrdiff_t(readPos_),
                               data_.begin() + std::ptrdiff_t(readPos_ + size_t(count)));
    readPos_ += size_t(count);
    return bytes;
}

int32_t CChunk::GetInteger(int32_t width) {
    // Cut-short input is refused like a cut-short sub-chunk, so a header whose last
    // size field is incomplete fails to parse instead of reading past its data.
    if (uint32_t(width) > 4 || size_t(width) > remaining())
        throw CChunkChunk::err_FailGetChunk{};
    const uint32_t value = bytes::readBE(std::span(data_).subspan(readPos_), size_t(width));
    readPos_ += size_t(width);
    return int32_t(value);
}

}  // namespace tembrel
