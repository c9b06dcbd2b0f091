#include "driver/convert_settings.h"

#include <charconv>

namespace tembrel {

namespace {
constexpr std::string_view kMono11[] = {"8", "10"};
constexpr std::string_view kMono22[] = {"20", "24", "32"};
constexpr std::string_view kMono44[] = {"40", "48"};
constexpr std::string_view kStereo11[] = {"16", "20"};
constexpr std::string_view kStereo22[] = {"40", "48", "64"};
constexpr std::string_view kStereo44[] = {"80", "96"};
}  // namespace

const std::array<BitRateChoice, 6> kBitRateChoices{{
    {11, 0, kMono11, kDefaultBitRates[0]},
    {22, 0, kMono22, kDefaultBitRates[1]},
    {44, 0, kMono44, kDefaultBitRates[2]},
    {11, 1, kStereo11, kDefaultBitRates[3]},
    {22, 1, kStereo22, kDefaultBitRates[4]},
    {44, 1, kStereo44, kDefaultBitRates[5]},
}};

void ConvertSettings::resetToDefaults() {
    *this = ConvertSettings{};
}

ConvertSettings& convertSettings() {
    static ConvertSettings instance;
    return instance;
}

std::optional<int32_t> bitRateOfText(std::string_view text) {
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int choiceIndexOf(const BitRateChoice& choice, int32_t value) {
    const std::string decimal = std::to_string(value);
    for (std::size_t i = 0; i < choice.texts.size(); ++i) {
        if (choice.texts[i].starts_with(decimal))
            return int(i);
    }
    return -1;
}

bool isOfferedBitRate(const BitRateChoice& choice, int32_t value) {
    for (std::string_view text : choice.texts) {
        if (bitRateOfText(text) == value)
            return true;
    }
    return false;
}

std::string offeredBitRatesText(const BitRateChoice& choice) {
    std::string out;
    for (std::size_t i = 0; i < choice.texts.size(); ++i) {
        if (i > 0)
            out += (i + 1 == choice.texts.size()) ? " or " : ", ";
        out += choice.texts[i];
    }
    return out;
}

}  // namespace tembrel
