// Format records (PCM, float, WAVE_FORMAT_EXTENSIBLE) and the samples they describe: the
// first two bytes give the record's length, the record follows, then sample bytes.
#include <cmath>
#include <vector>

#include "sources/conversion_plan.h"
#include "sources/pcm_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const std::size_t recordSize = std::min<std::size_t>(size - 2, data[0] | data[1] << 8);
    const std::span<const uint8_t> record(data + 2, recordSize);
    const std::span<const uint8_t> samples(data + 2 + recordSize, size - 2 - recordSize);
    auto described = tembrel::describePcm(record);
    if (record.size() >= sizeof(tembrel::WAVEFORMATEX)) {
        // The same record as a source reports it, extra bytes cut to what is there.
        std::vector<uint8_t> block(record.begin(), record.end());
        auto* format = reinterpret_cast<tembrel::WAVEFORMATEX*>(block.data());
        if (format->wFormatTag != tembrel::WAVE_FORMAT_PCM)
            format->cbSize = uint16_t(std::min<std::size_t>(format->cbSize, block.size() - 18));
        const tembrel::ConversionPlan plan = tembrel::planConversion(*format, data[0] & 1);
        if (plan.refusal.empty()) {
            if (plan.layout.channels < 1 || plan.layout.channels > 2 || plan.encodedRate == 0)
                __builtin_trap();
            if (plan.needsSwitch())
                tembrel::needsSwitchReason(plan);
            tembrel::conversionSummary(plan);
        }
    }
    const auto* layout = std::get_if<tembrel::PcmLayout>(&described);
    if (layout == nullptr || layout->channels == 0)
        return 0;
    // At most 64 Ki floats: a record may claim 65535 channels.
    std::vector<float> out(std::min<std::size_t>(samples.size(), 65536));
    const std::size_t frames = tembrel::samplesToFloat(samples, *layout, out);
    for (std::size_t i = 0; i < frames * layout->channels; ++i) {
        // Every encoding lands on the 16-bit scale: never NaN, never beyond +-32768.
        if (!std::isfinite(out[i]) || std::fabs(out[i]) > 32768.0f)
            __builtin_trap();
    }
    return 0;
}
