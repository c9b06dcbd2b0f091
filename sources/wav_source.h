// PCM source for RIFF WAVE files: hands out the bytes of the "data" chunk exactly as
// stored and reports the "fmt " chunk unchanged, whatever format it declares, except
// MPEG audio (format tags 0x50 and 0x55): such a file is left to the MPEG source.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/riff_file.h"
#include "sources/audio_source.h"

namespace tembrel {

class WavSource final : public AudioSource {
  public:
    WavSource() = default;
    ~WavSource() override = default;
    WavSource(const WavSource&) = delete;
    WavSource& operator=(const WavSource&) = delete;

    // Byte size of the "data" chunk, without its pad byte. When the file holds less than
    // the chunk declares: the bytes present, rounded down to whole blocks (nBlockAlign).
    int32_t length() override;
    // The "fmt " chunk: 18 bytes for PCM, 18 + cbSize otherwise. Null before the first
    // successful open; kept after close until the next open.
    const WAVEFORMATEX* format() override;
    bool open(const char* path) override;
    bool rewind() override;
    // Never delivers bytes past the end of the "data" chunk.
    bool read(std::span<uint8_t> buffer, uint32_t& bytesRead) override;
    bool skip(uint32_t milliseconds, uint32_t& byteCounter) override;
    bool close() override;
    // The "data" chunk's declared size when the file holds less of it.
    std::optional<AnnouncedLength> announcedLength() override;

  private:
    bool readFormat(const MMCKINFO& fmtChunk);
    bool fail();

    MmioHandle file_;
    MMCKINFO dataChunk_{};
    uint32_t declaredDataSize_ = 0;  // the "data" chunk's size as stored
    MMCKINFO riffChunk_{};
    std::vector<uint8_t> formatBlock_;
    // Bytes of the data chunk already passed, by reading or skipping.
    uint64_t position_ = 0;
};

}  // namespace tembrel
