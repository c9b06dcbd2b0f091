// PCM source for MPEG audio: a plain MPEG audio file (with or without ID3 tags) or a
// RIFF "RMP3" file whose "data" chunk holds the frames. The frames are decoded by the
// audio compression manager's conversion stream, several whole seconds at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/acm.h"
#include "platform/wave_format.h"
#include "sources/audio_source.h"

namespace tembrel {

class Mp3Source final : public AudioSource {
  public:
    Mp3Source() = default;
    ~Mp3Source() override;
    Mp3Source(const Mp3Source&) = delete;
    Mp3Source& operator=(const Mp3Source&) = delete;

    // From the frame count of a Xing/Info or VBRI header in the first frame, less what
    // the codec trims (a LAME tag's encoder delay and padding, or else the decoder's
    // delay); otherwise estimated from the first frame's bit rate.
    int32_t length() override;
    const WAVEFORMATEX* format() override;
    bool open(const char* path) override;
    bool rewind() override;
    bool read(std::span<uint8_t> buffer, uint32_t& bytesRead) override;
    bool skip(uint32_t milliseconds, uint32_t& byteCounter) override;
    bool close() override;
    // The PCM an information frame counts, or else, when the RIFF "data" chunk holding
    // the frames declares more bytes than the file has, what the bytes present gave in
    // proportion to it.
    std::optional<AnnouncedLength> announcedLength() override;

    // The input as described to the codec, and the range of the file it is taken from
    // (from the fifth byte of the first frame on); valid after a successful open.
    const MPEGLAYER3WAVEFORMAT& mpegFormat() const { return mp3Format_; }
    int32_t dataOffset() const { return dataOffset_; }
    int32_t dataLength() const { return dataLength_; }
    uint32_t inputChunkSize() const { return inputChunkSize_; }

    static constexpr uint32_t kBufferSize = 0x80000;

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    bool refuse();
    int setupStream();
    int convertChunk();
    int convert(uint32_t inputBytes, uint32_t flags);
    // Hands out up to `count` bytes into dst, or discards them when dst is null.
    bool deliver(uint8_t* dst, uint32_t count, uint32_t& delivered);

    std::unique_ptr<std::FILE, FileCloser> file_;
    int32_t dataOffset_ = 0;
    int32_t dataLength_ = 0;
    uint32_t consumed_ = 0;    // input bytes taken, counted in whole chunks
    uint32_t pending_ = 0;     // converted bytes not yet handed out
    uint32_t lastOutput_ = 0;  // bytes of the last conversion; pending ones are its tail
    bool drained_ = false;     // the codec has handed out everything after the input ended
    // Aligned so that the packed records' 16- and 32-bit fields are, too.
    alignas(4) MPEGLAYER3WAVEFORMAT mp3Format_{};
    alignas(4) WAVEFORMATEX pcmFormat_{};
    std::vector<uint8_t> inputBuffer_;
    std::vector<uint8_t> outputBuffer_;
    uint32_t inputChunkSize_ = 0;
    HACMSTREAM stream_ = nullptr;
    ACMSTREAMHEADER header_{};
    bool streamOpen_ = false;
    std::optional<int32_t> statedLength_;  // from a VBR header in the first frame
    uint64_t declaredLength_ = 0;          // MPEG bytes the "data" chunk declares beyond the file
    uint32_t frameSamples_ = 0;            // sample frames one MPEG frame decodes to
    uint64_t delivered_ = 0;               // PCM bytes handed out (or skipped) since rewind
};

// PCM bytes expected from `mpegBytes` of a stream at a constant byte rate, rounded.
int32_t estimatePcmLength(uint32_t pcmBytesPerSec, uint32_t mpegBytesPerSec, uint32_t mpegBytes);

}  // namespace tembrel
