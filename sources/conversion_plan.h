// What the encoder makes of a source's samples. 8- and 16-bit PCM at a rate VQF has a
// bit rate for is taken as it is; other widths (24- and 32-bit integers, floats) and
// other rates convert only when the conversion of other formats is switched on: the
// samples then go to the encoder as floats, resampled to the nearest rate VQF takes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wave_format.h"
#include "sources/pcm_layout.h"

namespace tembrel {

struct ConversionPlan {
    PcmLayout layout{};
    uint32_t encodedRate = 0;  // what the encoder gets
    bool resample = false;     // encodedRate differs from the source's rate
    bool asFloats = false;     // read through the float path, not as 8- or 16-bit PCM
    bool widen = false;        // asFloats for a width the file stores (not a decoder's floats)
    std::string refusal;       // not empty: the samples cannot be converted at all

    // Only with the conversion of other formats switched on.
    bool needsSwitch() const { return resample || widen; }
};

// `decodesToFloat`: the source's floats come from a decoder, not from a stored width.
ConversionPlan planConversion(const WAVEFORMATEX& format, bool decodesToFloat);

// True for the rates VQF has a bit rate for: 8, 11, 16, 22 and 44 kHz, taken as the rate
// in Hz divided by 1000 (so 44100 and 44000 both are).
bool hasVqfBitRate(uint32_t rate);
// The nearest of 8000, 11025, 16000, 22050 and 44100 Hz at or below `rate`; 8000 below it.
uint32_t nearestVqfRate(uint32_t rate);

// The failure line for a file that needs the switch while it is off: what the file is,
// what converts, and what the switch would do.
std::string needsSwitchReason(const ConversionPlan& plan);
// What a conversion does to the file ("resampled from 48000 Hz to 44100 Hz; 24-bit
// samples taken as floats"); empty when the samples are taken as they are.
std::string conversionSummary(const ConversionPlan& plan);

// The command line's name of the switch.
inline constexpr const char* kConvertOtherFormatsOption = "--convert-other-formats";

}  // namespace tembrel
