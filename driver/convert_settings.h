// The process-wide conversion settings: seven option flags and the six selectable bit
// rates. Nothing is stored between runs; every start begins with the defaults.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tembrel {

// kbit/s; rows mono, stereo; columns 11, 22, 44 kHz.
inline constexpr std::array<int32_t, 6> kDefaultBitRates{10, 32, 48, 20, 64, 96};

struct ConvertSettings {
    bool deleteSource = false;
    // The header's song name is the source's file name, whatever its tags hold.
    bool noSongTitle = false;
    bool keepPartialOnCancel = false;
    bool skipSubfolders = false;
    bool skipHidden = false;
    bool noAttributeInherit = false;
    bool noCompletionSound = false;
    // Sources at rates VQF has no bit rate for are resampled, and sample widths other
    // than 8 and 16 bits taken as floats; off, such files fail as they always have.
    bool convertOtherFormats = false;
    // Ordered like kDefaultBitRates.
    std::array<int32_t, 6> bitRates = kDefaultBitRates;

    void resetToDefaults();
};

// The one instance of the process.
ConvertSettings& convertSettings();

// One selectable bit rate: which sampling rate and channel mode it serves and the
// values offered, in list order. Shared by every front end that edits the settings.
struct BitRateChoice {
    int32_t kHz;
    int32_t channelMode;  // 0 mono, 1 stereo
    std::span<const std::string_view> texts;
    int32_t defaultValue;
};

// Indexed like ConvertSettings::bitRates.
extern const std::array<BitRateChoice, 6> kBitRateChoices;

// The decimal value of a list text ("24" gives 24); nullopt for a text that is no number.
std::optional<int32_t> bitRateOfText(std::string_view text);
// The list entry that shows `value`: the first whose text begins with its decimal form;
// -1 when none does.
int choiceIndexOf(const BitRateChoice& choice, int32_t value);
// True when `value` is one of the texts offered for that entry.
bool isOfferedBitRate(const BitRateChoice& choice, int32_t value);
// The offered values as "8 or 10", "20, 24 or 32".
std::string offeredBitRatesText(const BitRateChoice& choice);

}  // namespace tembrel
