// Converts one source file into one VQF file: opens the source by its contents, fills
// the setup record from its format, the bit-rate table and its tags, runs the encoder
// library frame by frame and writes the header and frames. One file at a time: the
// records below are single instances reused from file to file.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "driver/convert_settings.h"
#include "driver/file_encoder.h"
#include "sources/source_selector.h"
#include "tvq/tvq_records.h"

namespace tembrel {

class EncoderDriver final : public FileEncoder {
  public:
    EncoderDriver() { copyBitRates(kDefaultBitRates); }

    // Import folder of the header writer, relative to the current directory.
    static constexpr const char* kImportFolder = "header_info";

    void copyBitRates(std::span<const int32_t, 6> rates) override;
    void setNameFromFileName(bool on) override { nameFromFileName_ = on; }
    void setConvertOtherFormats(bool on) override { convertOtherFormats_ = on; }
    int encodeFile(const std::string& sourcePath, const std::string& outputPath) override;
    const std::string& failureReason() const override { return failure_; }
    const std::string& warning() const override { return warning_; }
    SafeReplace takeOutput() override { return std::move(output_); }

    // kbit/s for a sampling rate in kHz and a channel mode; 0 for rates without one.
    int32_t lookupBitRate(int32_t kHz, int32_t channelMode) const;
    // The setup record of the last file.
    const HeaderInfo& headerInfo() const { return header_; }
    // Called on the encoding thread after every frame written, with framesDone.
    void setFrameObserver(std::function<void(int32_t)> observer) {
        frameObserver_ = std::move(observer);
    }

  private:
    int fail(std::string reason);
    void fillHeaderInfo(const std::string& sourcePath, uint16_t channels, uint32_t rate);
    // The warning for a source that delivered less than its headers announce.
    std::string shortfall(uint64_t delivered, const WAVEFORMATEX& format) const;

    std::unique_ptr<SourceSelector> selector_;
    HeaderInfo header_{};
    EncoderOptions options_{32};
    ConfInfo conf_{};
    VectorInfo vectors_{};
    FrameIndex index_{};
    // Rows mono, stereo; columns 11, 22, 44 kHz.
    int32_t rateTable_[2][3] = {};
    bool nameFromFileName_ = false;
    bool convertOtherFormats_ = false;
    std::function<void(int32_t)> frameObserver_;
    std::vector<float> samples_;
    std::string failure_;
    std::string warning_;
    SafeReplace output_;
};

// The one instance of the process.
EncoderDriver& encoderDriver();

// Converts interleaved 8-bit (unsigned) or 16-bit (signed little-endian) PCM into
// channel-major floats on the 16-bit scale: sample j of channel c lands at
// c * frameSize + j. Positions past the delivered samples become 0; a trailing
// incomplete sample group is ignored. `out` holds channels * frameSize floats.
void pcmToChannelMajor(std::span<const uint8_t> pcm, int bitsPerSample, int channels, int frameSize,
                       std::span<float> out);

}  // namespace tembrel
