#include "sources/conversion_plan.h"

#include <array>
#include <variant>

namespace tembrel {
namespace {

constexpr std::array<uint32_t, 5> kVqfRates{8000, 11025, 16000, 22050, 44100};
// Below this, a "sampling rate" is damage, not a recording.
constexpr uint32_t kLowestRate = 1000;

std::string widthText(const PcmLayout& layout) {
    return std::to_string(layout.bitsPerSample) + (layout.isFloat() ? "-bit float" : "-bit");
}

}  // namespace

bool hasVqfBitRate(uint32_t rate) {
    for (uint32_t r : kVqfRates) {
        if (rate / 1000 == r / 1000)
            return true;
    }
    return false;
}

uint32_t nearestVqfRate(uint32_t rate) {
    uint32_t best = kVqfRates.front();
    for (uint32_t r : kVqfRates) {
        if (r <= rate)
            best = r;
    }
    return best;
}

ConversionPlan planConversion(const WAVEFORMATEX& format, bool decodesToFloat) {
    ConversionPlan plan;
    auto described = describePcm(formatBlockOf(format));
    if (auto* reason = std::get_if<std::string>(&described)) {
        plan.refusal = std::move(*reason);
        return plan;
    }
    plan.layout = std::get<PcmLayout>(described);
    const PcmLayout& layout = plan.layout;
    if (layout.channels == 0) {
        plan.refusal = "no channels";
        return plan;
    }
    if (layout.channels > 2) {
        plan.refusal = std::to_string(layout.channels) + " channels: only mono and stereo convert";
        return plan;
    }
    if (layout.rate < kLowestRate) {
        plan.refusal = std::to_string(layout.rate) + " Hz: too low a sampling rate to convert";
        return plan;
    }
    plan.asFloats = !((layout.encoding == SampleEncoding::Unsigned8 && layout.bitsPerSample == 8) ||
                      (layout.encoding == SampleEncoding::Signed16 && layout.bitsPerSample == 16));
    plan.widen = plan.asFloats && !(decodesToFloat && layout.isFloat());
    plan.resample = !hasVqfBitRate(layout.rate);
    // The new paths step through the samples by their width; a block of another size
    // would be read as noise.
    if ((plan.asFloats || plan.resample) && format.nBlockAlign != layout.stride()) {
        plan.refusal = "blocks of " + std::to_string(format.nBlockAlign) + " bytes do not hold " +
                       std::to_string(layout.channels) + " samples of " +
                       std::to_string(layout.bitsPerSample) + " bits";
        return plan;
    }
    plan.encodedRate = plan.resample ? nearestVqfRate(layout.rate) : layout.rate;
    return plan;
}

std::string needsSwitchReason(const ConversionPlan& plan) {
    std::string what;
    std::string rule;
    std::string how = std::string(kConvertOtherFormatsOption);
    const std::string rates = "8, 11.025, 16, 22.05 and 44.1 kHz";
    if (plan.resample && plan.widen) {
        what = std::to_string(plan.layout.rate) + " Hz, " + widthText(plan.layout) + " samples";
        rule = "only 8- and 16-bit samples at " + rates + " convert";
    } else if (plan.resample) {
        what = std::to_string(plan.layout.rate) + " Hz";
        rule = "only " + rates + " convert";
    } else {
        what = widthText(plan.layout) + " samples";
        rule = "only 8- and 16-bit samples convert";
    }
    if (plan.resample)
        how += " resamples it to " + std::to_string(plan.encodedRate) + " Hz";
    else
        how += " converts them";
    return what + ": " + rule + "; " + how;
}

std::string conversionSummary(const ConversionPlan& plan) {
    std::string out;
    if (plan.resample) {
        out = "resampled from " + std::to_string(plan.layout.rate) + " Hz to " +
              std::to_string(plan.encodedRate) + " Hz";
    }
    if (plan.widen) {
        if (!out.empty())
            out += "; ";
        out += widthText(plan.layout) + " samples taken as floats";
    }
    return out;
}

}  // namespace tembrel
