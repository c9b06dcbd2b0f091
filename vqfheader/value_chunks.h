// The chunk kinds that serialise values into their data at construction. After that
// each is just an id and bytes, like any chunk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "vqfheader/chunk.h"

namespace tembrel {

// A text, stored without terminator; an empty text gives no data.
class CStringChunk : public CChunk {
  public:
    CStringChunk(std::string id, std::string_view text);
};

// The four stream parameters, each 4 bytes big-endian; the id is always "COMM".
class CCommChunk : public CChunk {
  public:
    CCommChunk(int32_t channelMode, int32_t bitRate, int32_t samplingRate, int32_t securityLevel);
    // Decodes an existing chunk: copies its id and data, rewinds and reads the four
    // values. Data shorter than 16 bytes throws CChunkChunk::err_FailGetChunk.
    explicit CCommChunk(const CChunk& chunk);

    int32_t channelMode = 0;
    int32_t bitRate = 0;
    int32_t samplingRate = 0;
    int32_t securityLevel = 0;
};

// A 16-bit value big-endian, then five single bytes (7 bytes).
class CEncdChunk : public CChunk {
  public:
    CEncdChunk(std::string id, int16_t year, int8_t v1, int8_t v2, int8_t v3, int8_t v4, int8_t v5);

    int16_t year;
    int8_t values[5];
};

// A 16-bit value big-endian, then one byte (3 bytes).
class CYearChunk : public CChunk {
  public:
    CYearChunk(std::string id, int16_t year, int8_t extra);

    int16_t year;
    int8_t extra;
};

// A big-endian integer of `Width` bytes (2 or 4).
template <int Width>
class CIntegerChunk : public CChunk {
    static_assert(Width == 2 || Width == 4);

  public:
    using Value = std::conditional_t<Width == 2, int16_t, int32_t>;

    CIntegerChunk(std::string id, Value value) : CChunk(std::move(id)) { PutInteger(value, Width); }
};

}  // namespace tembrel
