// Audio format records shared by the sources and the audio compression stand-in.
// Both are packed exactly as their on-disk and Windows forms (18 and 30 bytes).
#pragma once

#include <cstdint>

namespace tembrel {

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_MPEG = 0x50;  // Layers I and II
inline constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x55;
inline constexpr uint16_t MPEGLAYER3_ID_MPEG = 1;
inline constexpr uint32_t MPEGLAYER3_FLAG_PADDING_OFF = 2;
inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    uint16_t wID = 0;
    uint32_t fdwFlags = 0;
    uint16_t nBlockSize = 0;
    uint16_t nFramesPerBlock = 0;
    uint16_t nCodecDelay = 0;
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

}  // namespace tembrel
