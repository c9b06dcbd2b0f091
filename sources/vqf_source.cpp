#include "sources/vqf_source.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/byte_order.h"
#include "tvq/tvqdec.h"
#include "vqfheader/header_manager.h"
#include "vqfheader/header_reader.h"

namespace tembrel {
namespace {

// Set while some source holds the process-wide decoder state.
std::atomic<bool> gDecoderInUse{false};

// Version id (12), header size field (4) and the "DATA" mark (4) around the header body.
constexpr uint32_t kHeaderFraming = 20;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool VqfSource::DecoderClaim::acquire() {
    if (held_)
        return true;
    bool expected = false;
    held_ = gDecoderInUse.compare_exchange_strong(expected, true);
    return held_;
}

bool VqfSource::DecoderClaim::start(HeaderInfo& header, FrameIndex& index) {
    if (!held_ || started_ != nullptr)
        return false;
    if (TvqInitialize(&header, &index, 0) != 0)
        return false;
    started_ = &index;
    return true;
}

bool VqfSource::DecoderClaim::restart(HeaderInfo& header, FrameIndex& index) {
    if (started_ != nullptr) {
        TvqTerminate(started_);
        started_ = nullptr;
    }
    return start(header, index);
}

void VqfSource::DecoderClaim::release() {
    if (started_ != nullptr) {
        TvqTerminate(started_);
        started_ = nullptr;
    }
    if (held_) {
        gDecoderInUse.store(false);
        held_ = false;
    }
}

uint32_t VqfSource::estimateDataBytes(const char* path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return 0;
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return 0;
    uint8_t head[kHeaderFraming] = {};
    const size_t got = std::fread(head, 1, sizeof head, file.get());
    // A file too short to hold the size field has no header body to subtract.
    const uint64_t body = got >= 16 ? bytes::readBE32(std::span(head).subspan(12, 4)) : 0;
    const uint64_t length = uint64_t(size);
    if (length <= body + kHeaderFraming)
        return 0;
    return uint32_t(
        std::min<uint64_t>(length - body - kHeaderFraming, std::numeric_limits<uint32_t>::max()));
}

void VqfSource::floatToPcm16(std::span<const float> in, std::span<int16_t> out, int frameSize,
                             int channels) {
    for (int c = 0; c < channels; ++c) {
        for (int i = 0; i < frameSize; ++i) {
            float v = in[size_t(c) * size_t(frameSize) + size_t(i)];
            if (v >= 0.0f) {
                v = std::min(v, kPcmLimit) + 0.5f;
            } else if (v < 0.0f) {
                v = std::max(v, -kPcmLimit) - 0.5f;
            } else {
                v = 0.0f;  // NaN from a damaged frame: silence rather than an undefined cast
            }
            out[size_t(i) * size_t(channels) + size_t(c)] = int16_t(v);
        }
    }
}

bool VqfSource::open(const char* path) {
    close();
    // Every failure gives back what was taken so far: file, decoder, claim.
    const auto fail = [this] {
        release();
        return false;
    };
    if (path == nullptr || !decoder_.acquire())
        return fail();
    file_.reset(BitFile::open(path, "rb"));
    if (!file_)
        return fail();
    {
        // The header objects are needed only until the setup record is filled.
        const std::unique_ptr<CChunkChunk> headerChunk = FrameReader::readHeaderChunk(file_.get());
        if (!headerChunk)
            return fail();
        const std::unique_ptr<CHeaderManager> manager = CreateHeaderManager(*headerChunk);
        if (!manager)
            return fail();
        // Without "COMM" the values stay 0 and the decoder library refuses them.
        ReadHeaderInfo(*manager, header_);
        // The frame data's size, when the writer stated it.
        const auto size = manager->chunks().find("DSIZ");
        if (size != manager->chunks().end() && size->second.data().size() == 4)
            declaredDataBytes_ = bytes::readBE32(size->second.data());
    }
    if (!decoder_.start(header_, index_) || reader_.prepareDecoding(header_) != 0)
        return fail();

    frameSize_ = TvqGetFrameSize();
    channels_ = TvqGetNumChannels();
    frameBits_ = TvqGetNumFixedBitsPerFrame();
    const float rate = TvqGetSamplingRate();
    const int64_t position = BitFile::tell(file_.get());
    if (frameSize_ <= 0 || frameSize_ > 65536 || channels_ < 1 || channels_ > 2 ||
        frameBits_ <= 0 || !(rate >= 1.0f && rate < 1.0e6f) || position < 0)
        return fail();

    format_ = {};
    format_.wFormatTag = WAVE_FORMAT_PCM;
    format_.nChannels = uint16_t(channels_);
    format_.nSamplesPerSec = uint32_t(rate);
    format_.wBitsPerSample = 16;
    format_.nBlockAlign = uint16_t(2 * channels_);
    format_.nAvgBytesPerSec = format_.nBlockAlign * format_.nSamplesPerSec;
    format_.cbSize = 0;

    firstFramePos_ = uint64_t(position);
    length_ = 0;
    presentDataBytes_ = estimateDataBytes(path);
    if (header_.bitRate != 0) {
        // Two frames are f / 4 bytes; the bit rate times 125 is the stream's bytes per second.
        const uint32_t d = estimateDataBytes(path);
        const uint32_t twoFrames = uint32_t(frameBits_ / 4);
        if (d > twoFrames) {
            const double estimate =
                double(d - twoFrames) * format_.nAvgBytesPerSec / (header_.bitRate * 125.0);
            if (estimate > 0.0)
                length_ = int32_t(std::min(estimate, double(std::numeric_limits<int32_t>::max())));
        }
    }

    const size_t samples = size_t(channels_) * size_t(frameSize_);
    floatBuffer_.assign(samples, 0.0f);
    pcmBuffer_.assign(samples, 0);
    pcmBytes_.assign(samples * 2, 0);
    frameBytes_ = uint32_t(samples * 2);
    primeDecoder();
    return true;
}

bool VqfSource::decodeNextFrame() {
    haveFrame_ = reader_.readFrame(index_, file_.get());
    if (!haveFrame_)
        return false;
    TvqDecodeFrame(&index_, floatBuffer_.data());
    floatToPcm16(floatBuffer_, pcmBuffer_, frameSize_, channels_);
    for (size_t i = 0; i < pcmBuffer_.size(); ++i)
        bytes::storeLE(std::span(pcmBytes_).subspan(2 * i, 2), uint16_t(pcmBuffer_[i]), 2);
    return true;
}

void VqfSource::primeDecoder() {
    pending_ = 0;
    if (decodeNextFrame())
        decodeNextFrame();
}

bool VqfSource::rewind() {
    if (!file_)
        return false;
    pending_ = 0;
    haveFrame_ = false;
    delivered_ = 0;
    if (BitFile::seek(file_.get(), int64_t(firstFramePos_), BitFile::kFromStart) != 0 ||
        !decoder_.restart(header_, index_) || reader_.prepareDecoding(header_) != 0)
        return false;
    primeDecoder();
    return true;
}

bool VqfSource::read(std::span<uint8_t> buffer, uint32_t& bytesRead) {
    bytesRead = 0;
    const uint32_t want = uint32_t(std::min<size_t>(buffer.size(), UINT32_MAX));
    while (true) {
        if (!haveFrame_ && pending_ == 0)
            return true;  // end of the stream
        if (bytesRead >= want)
            return true;
        if (pending_ == 0) {
            if (decodeNextFrame())
                pending_ = frameBytes_;
            continue;
        }
        const uint32_t take = std::min(pending_, want - bytesRead);
        std::memcpy(buffer.data() + bytesRead, pcmBytes_.data() + (frameBytes_ - pending_), take);
        pending_ -= take;
        bytesRead += take;
        delivered_ += take;
    }
}

bool VqfSource::skip(uint32_t milliseconds, uint32_t& byteCounter) {
    if (!file_)
        return true;
    const SkipAmounts amounts = skipAmounts(format_, milliseconds);
    const uint32_t passed = skipBytes(amounts.wholeSeconds) + skipBytes(amounts.rest);
    byteCounter += passed;
    delivered_ += passed;
    return true;
}

std::optional<AudioSource::AnnouncedLength> VqfSource::announcedLength() {
    // One frame's worth of stream bytes short is still a whole file.
    const uint64_t frameStreamBytes = uint64_t(std::max(frameBits_, 0)) / 8 + 1;
    if (declaredDataBytes_ <= presentDataBytes_ + frameStreamBytes || presentDataBytes_ == 0)
        return std::nullopt;
    const double whole =
        double(delivered_) * double(declaredDataBytes_) / double(presentDataBytes_);
    return AnnouncedLength{uint64_t(whole), frameBytes_};
}

uint32_t VqfSource::skipBytes(uint32_t n) {
    uint32_t passed = std::min(pending_, n);
    pending_ -= passed;
    n -= passed;
    if (n == 0 || !haveFrame_)
        return passed;

    // Every frame is decoded: the decoder's state depends on all frames before, so a jump
    // in the bit stream would change the output after the landing point.
    const uint32_t rest = n % frameBytes_;
    for (uint32_t frames = n / frameBytes_; frames > 0; --frames) {
        if (!decodeNextFrame())
            return passed;
        passed += frameBytes_;
    }
    if (rest > 0 && decodeNextFrame()) {
        pending_ = frameBytes_ - rest;
        passed += rest;
    }
    return passed;
}

void VqfSource::release() {
    file_.reset();
    decoder_.release();
    floatBuffer_ = {};
    pcmBuffer_ = {};
    pcmBytes_ = {};
    frameBytes_ = 0;
    pending_ = 0;
    haveFrame_ = false;
    firstFramePos_ = 0;
    length_ = 0;
    declaredDataBytes_ = presentDataBytes_ = delivered_ = 0;
}

bool VqfSource::close() {
    release();
    return true;
}

}  // namespace tembrel
