#include "vqfheader/value_chunks.h"

namespace tembrel {

CStringChunk::CStringChunk(std::string id, std::string_view text) : CChunk(std::move(id)) {
    PutString(text);
}

CCommChunk::CCommChunk(int32_t channelMode, int32_t bitRate, int32_t samplingRate,
                       int32_t securityLevel)
    : CChunk("COMM"),
      channelMode(channelMode),
      bitRate(bitRate),
      samplingRate(samplingRate),
      securityLevel(securityLevel) {
    PutInteger(channelMode, 4);
    PutInteger(bitRate, 4);
    PutInteger(samplingRate, 4);
    PutInteger(securityLevel, 4);
}

CCommChunk::CCommChunk(const CChunk& chunk) : CChunk(chunk.id(), chunk.data()) {
    Rewind();
    channelMode = GetInteger(4);
    bitRate = GetInteger(4);
    samplingRate = GetInteger(4);
    securityLevel = GetInteger(4);
}

CEncdChunk::CEncdChunk(std::string id, int16_t year, int8_t v1, int8_t v2, int8_t v3, int8_t v4,
                       int8_t v5)
    : CChunk(std::move(id)), year(year), values{v1, v2, v3, v4, v5} {
    PutInteger(year, 2);
    for (int8_t v : values)
        PutInteger(v, 1);
}

CYearChunk::CYearChunk(std::string id, int16_t year, int8_t extra)
    : CChunk(std::move(id)), year(year), extra(extra) {
    PutInteger(year, 2);
    PutInteger(extra, 1);
}

}  // namespace tembrel
