// PCM source for VQF files: decodes the frame stream back into interleaved 16-bit PCM
// through the decoder library, one frame at a time.
//
// The decoder library keeps one decoding state for the whole process, so at most one
// VqfSource is open at a time: while one is open, open() on any other refuses the file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sources/audio_source.h"
#include "tvq/tvq_records.h"
#include "twinvq/bit_file.h"
#include "twinvq/frame_reader.h"

namespace tembrel {

class VqfSource final : public AudioSource {
  public:
    // Decoded values are limited to this range before rounding.
    static constexpr float kPcmLimit = 32700.0f;

    VqfSource() = default;
    ~VqfSource() override { close(); }
    VqfSource(const VqfSource&) = delete;
    VqfSource& operator=(const VqfSource&) = delete;

    // Estimated PCM bytes: every frame of the file but the first two, at the header's
    // bit rate. 0 when the header's bit rate is 0 or the file holds no more than its header.
    int32_t length() override { return length_; }
    // Always allocated; filled by a successful open().
    const WAVEFORMATEX* format() override { return &format_; }
    bool open(const char* path) override;
    // Back to the first frame with a fresh decoder: the decoder carries state from frame
    // to frame (prediction memory, noise generator), so only a restart gives the same
    // bytes again.
    bool rewind() override;
    // The end of the stream (a frame that cannot be read whole) is no error: always true.
    bool read(std::span<uint8_t> buffer, uint32_t& bytesRead) override;
    // Decodes the frames it passes over, so that the output after it is exactly what
    // reading would have given. Adds the bytes actually passed over, fewer than the span
    // near the end.
    bool skip(uint32_t milliseconds, uint32_t& byteCounter) override;
    bool close() override;
    // When the header's "DSIZ" chunk declares more frame data than the file holds: what
    // the frames present gave, in proportion to the declared size.
    std::optional<AnnouncedLength> announcedLength() override;

    // Bytes of one decoded frame (channels x frame size x 2); 0 while closed.
    uint32_t frameBytes() const { return frameBytes_; }
    // Length of every frame in bits, and the bit offset of the first frame in the file.
    int32_t frameBits() const { return frameBits_; }
    uint64_t firstFramePos() const { return firstFramePos_; }
    // The setup record read from the file's header (id and the four "COMM" values).
    const HeaderInfo& headerInfo() const { return header_; }

    // Bytes after the header: file length - h - 20, where h is the header body's size
    // stored big-endian in bytes 12 to 15; 0 when the file is no longer than that or
    // cannot be read.
    static uint32_t estimateDataBytes(const char* path);

    // Channel-major decoder output (frameSize samples of channel 0, then of channel 1)
    // to interleaved samples, limited to +-kPcmLimit and rounded half away from zero.
    static void floatToPcm16(std::span<const float> in, std::span<int16_t> out, int frameSize,
                             int channels);

  private:
    // Reads the next frame; when it was read whole, decodes it and converts it into
    // pcmBytes_. Sets haveFrame_ and returns it.
    bool decodeNextFrame();
    // Decodes the first two frames of the stream, whose output is never handed out
    // (they cover the decoder's delay).
    void primeDecoder();
    // Passes over up to `n` PCM bytes; returns how many there were before the end.
    uint32_t skipBytes(uint32_t n);
    // Releases everything open() took, in reverse order.
    void release();

    // The process-wide decoder state, held by one source at a time. Terminates the
    // decoder once when released after a successful start.
    class DecoderClaim {
      public:
        DecoderClaim() = default;
        ~DecoderClaim() { release(); }
        DecoderClaim(const DecoderClaim&) = delete;
        DecoderClaim& operator=(const DecoderClaim&) = delete;

        // False when another source holds the decoder.
        bool acquire();
        // TvqInitialize; false when the library refuses the setup record.
        bool start(HeaderInfo& header, FrameIndex& index);
        // A fresh decoding state: TvqTerminate, then TvqInitialize again.
        bool restart(HeaderInfo& header, FrameIndex& index);
        void release();

      private:
        bool held_ = false;
        FrameIndex* started_ = nullptr;  // the index TvqInitialize was given
    };

    UniqueBitFile file_;
    DecoderClaim decoder_;
    FrameReader reader_;
    FrameIndex index_{};
    HeaderInfo header_{};
    WAVEFORMATEX format_{};
    int32_t frameSize_ = 0;
    int32_t channels_ = 0;
    int32_t frameBits_ = 0;
    std::vector<float> floatBuffer_;
    std::vector<int16_t> pcmBuffer_;
    std::vector<uint8_t> pcmBytes_;  // pcmBuffer_ as little-endian bytes, as handed out
    uint32_t frameBytes_ = 0;
    uint32_t pending_ = 0;  // the last `pending_` bytes of pcmBytes_ are not handed out yet
    bool haveFrame_ = false;
    uint64_t firstFramePos_ = 0;
    int32_t length_ = 0;
    uint64_t declaredDataBytes_ = 0;  // "DSIZ", when the file holds less frame data
    uint64_t presentDataBytes_ = 0;
    uint64_t delivered_ = 0;  // PCM bytes handed out or passed over since rewind
};

}  // namespace tembrel
