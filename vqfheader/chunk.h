// One chunk of a VQF header held in memory: an id, the serialised data bytes and a
// read position. The specialised kinds (value_chunks.h) only differ in how their
// constructors produce the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tembrel {

class CChunk {
  public:
    // Thrown by PutInteger for a width above 4.
    struct err_FailPut {};

    explicit CChunk(std::string id);
    CChunk(std::string id, std::vector<uint8_t> data);
    CChunk(const CChunk&) = default;
    CChunk& operator=(const CChunk&) = default;
    CChunk(CChunk&&) = default;
    CChunk& operator=(CChunk&&) = default;
    virtual ~CChunk() = default;

    // Appends `count` bytes; a count of 0 or less appends nothing.
    void PutBytes(int32_t count, const void* bytes);
    void PutData(std::span<const uint8_t> bytes);
    // Appends the characters of `text`, without terminator.
    void PutString(std::string_view text);
    // Appends the low `width` bytes of `value`, most significant first. Widths are
    // compared as unsigned: anything above 4 throws err_FailPut and appends nothing.
    void PutInteger(int32_t value, int32_t width);

    void Rewind() { readPos_ = 0; }
    // The next `count` bytes, or an empty result (and no move) when fewer remain.
    std::string GetString(int32_t count);
    std::vector<uint8_t> GetData(int32_t count);
    // The next `width` (1 to 4) bytes as an unsigned big-endian number; a 4-byte value
    // with the top bit set comes back negative. Never reads beyond the data: with fewer
    // bytes left, or a width outside 0..4, it throws CChunkChunk::err_FailGetChunk
    // without moving.
    int32_t GetInteger(int32_t width);

    const std::string& id() const { return id_; }
    const std::vector<uint8_t>& data() const { return data_; }
    size_t readPos() const { return readPos_; }

  private:
    size_t remaining() const { return data_.size() - readPos_; }

    std::string id_;
    std::vector<uint8_t> data_;
    size_t readPos_ = 0;
};

}  // namespace tembrel
