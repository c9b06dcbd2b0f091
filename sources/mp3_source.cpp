#include "sources/mp3_source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/mpeg_frame.h"
#include "tags/song_tags.h"

namespace tembrel {

namespace {

constexpr std::size_t kProbeBytes = 256;  // first read: the first frame header and more
constexpr std::size_t kId3v1Bytes = 128;
constexpr uint16_t kCodecDelay = 1393;

MPEGLAYER3WAVEFORMAT describe(const mpeg::FrameHeader& h) {
    MPEGLAYER3WAVEFORMAT f{};
    f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    f.wfx.nChannels = h.channels();
    f.wfx.nSamplesPerSec = h.sampleRate;
    f.wfx.nAvgBytesPerSec = h.bitrateKbps * 1000 / 8;
    f.wfx.nBlockAlign = 1;
    f.wfx.wBitsPerSample = 0;
    f.wfx.cbSize = sizeof(MPEGLAYER3WAVEFORMAT) - sizeof(WAVEFORMATEX);
    f.wID = MPEGLAYER3_ID_MPEG;
    f.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    // The Layer III MPEG-1 frame size, used for every version and layer.
    f.nBlockSize = uint16_t(h.bitrateKbps * 144000 / h.sampleRate);
    f.nFramesPerBlock = 1;
    f.nCodecDelay = kCodecDelay;
    return f;
}

int32_t clampToInt32(double value) {
    if (!(value > 0))
        return 0;
    if (value >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return int32_t(value);
}

// PCM bytes of the frames an information frame counts, less what the codec trims: the
// encoder delay and padding a LAME tag states, or else the decoder's own delay.
std::optional<int32_t> statedPcmLength(const mpeg::FrameHeader& h, std::span<const uint8_t> body,
                                       uint32_t blockAlign) {
    const auto info = mpeg::parseVbrInfo(h, body);
    if (!info || info->frames == 0)
        return std::nullopt;
    const uint64_t samples = uint64_t(info->frames) * h.samplesPerFrame();
    const uint64_t trimmed = info->hasEncoderGap
                                 ? uint64_t(info->encoderDelay) + info->encoderPadding
                                 : mpeg::kDecoderDelay;
    if (trimmed > samples)
        return std::nullopt;
    return clampToInt32(double((samples - trimmed) * blockAlign));
}

}  // namespace

int32_t estimatePcmLength(uint32_t pcmBytesPerSec, uint32_t mpegBytesPerSec, uint32_t mpegBytes) {
    if (mpegBytesPerSec == 0)
        return 0;
    return clampToInt32(double(pcmBytesPerSec) * double(mpegBytes) / double(mpegBytesPerSec) + 0.5);
}

Mp3Source::~Mp3Source() {
    close();
}

int32_t Mp3Source::length() {
    if (statedLength_)
        return *statedLength_;
    return estimatePcmLength(pcmFormat_.nAvgBytesPerSec, mp3Format_.wfx.nAvgBytesPerSec,
                             uint32_t(dataLength_));
}

const WAVEFORMATEX* Mp3Source::format() {
    return &pcmFormat_;
}

bool Mp3Source::open(const char* path) {
    dataOffset_ = 0;
    close();
    if (path == nullptr)
        return false;

    SongTags tags;
    tags.read(path);
    dataOffset_ = tags.dataOffset;
    dataLength_ = tags.dataLength;

    file_.reset(std::fopen(path, "rb"));
    if (!file_)
        return false;
    if (fseeko(file_.get(), 0, SEEK_END) != 0)
        return refuse();
    const off_t fileSize = ftello(file_.get());
    if (fileSize < 0 || dataOffset_ < 0 || dataOffset_ > fileSize || dataLength_ < 0)
        return refuse();
    // A RIFF "data" chunk may claim more than the file holds; the audio ends with the file.
    if (dataLength_ > fileSize - dataOffset_ && !isPlaceholderSize(uint64_t(dataLength_)))
        declaredLength_ = uint64_t(dataLength_);
    dataLength_ = int32_t(std::min<off_t>(dataLength_, fileSize - dataOffset_));

    std::array<uint8_t, kProbeBytes> probe{};
    if (fseeko(file_.get(), dataOffset_, SEEK_SET) != 0 ||
        std::fread(probe.data(), 1, probe.size(), file_.get()) != probe.size())
        return refuse();
    // The first frame must start right at dataOffset: no search for a sync word.
    if (probe[0] != 0xFF)
        return refuse();
    const auto header = mpeg::parseFrameHeader(probe);
    if (!header)
        return refuse();
    mp3Format_ = describe(*header);
    frameSamples_ = header->samplesPerFrame();

    // A trailing ID3v1 block is not audio. The tag reader has already left it out of a
    // plain file's range, and a RIFF file's "data" chunk normally ends before it; it is
    // taken out only when it still lies inside the range.
    std::array<uint8_t, kId3v1Bytes> last{};
    if (fseeko(file_.get(), fileSize - off_t(kId3v1Bytes), SEEK_SET) != 0 ||
        std::fread(last.data(), 1, last.size(), file_.get()) != last.size())
        return refuse();
    const off_t tagAt = fileSize - off_t(kId3v1Bytes);
    if (std::memcmp(last.data(), "TAG", 3) == 0 && tagAt >= dataOffset_ &&
        tagAt < off_t(dataOffset_) + dataLength_)
        dataLength_ = int32_t(tagAt - dataOffset_);

    // The codec is handed the stream from the fifth byte of the first frame.
    if (dataLength_ <= int32_t(mpeg::kHeaderBytes))
        return refuse();
    dataOffset_ += int32_t(mpeg::kHeaderBytes);
    dataLength_ -= int32_t(mpeg::kHeaderBytes);

    if (setupStream() != 0)
        return refuse();
    const std::size_t frameEnd = std::min<std::size_t>(probe.size(), header->frameBytes());
    statedLength_ = statedPcmLength(
        *header, std::span(probe).subspan(mpeg::kHeaderBytes, frameEnd - mpeg::kHeaderBytes),
        pcmFormat_.nBlockAlign);
    return true;
}

bool Mp3Source::refuse() {
    close();
    return false;
}

int Mp3Source::setupStream() {
    pcmFormat_ = WAVEFORMATEX{};
    pcmFormat_.wFormatTag = WAVE_FORMAT_PCM;
    header_ = ACMSTREAMHEADER{};
    if (acmFormatSuggest(nullptr, &mp3Format_.wfx, &pcmFormat_, sizeof(WAVEFORMATEX),
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR)
        return 1;
    if (acmStreamOpen(&stream_, nullptr, &mp3Format_.wfx, &pcmFormat_, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
        return 2;
    streamOpen_ = true;
    uint32_t outputSize = 0;
    if (acmStreamSize(stream_, uint32_t(dataLength_), &outputSize, ACM_STREAMSIZEF_SOURCE) !=
        MMSYSERR_NOERROR)
        return 3;
    if (outputSize == 0)
        return 4;

    inputBuffer_.assign(kBufferSize, 0);
    outputBuffer_.assign(kBufferSize, 0);
    // Whole seconds of PCM that fit in the output buffer, and the input for as many.
    const uint32_t seconds = std::max<uint32_t>(1, kBufferSize / pcmFormat_.nAvgBytesPerSec);
    const uint32_t blockSize = std::max<uint32_t>(1, mp3Format_.nBlockSize);
    // A high bit rate at a low sampling rate would ask for more than the input buffer.
    const uint32_t chunk = std::min(mp3Format_.wfx.nAvgBytesPerSec * seconds, kBufferSize);
    inputChunkSize_ = std::max(blockSize, chunk / blockSize * blockSize);
    inputChunkSize_ = std::min(inputChunkSize_, kBufferSize);

    pending_ = 0;
    return rewind() ? 0 : 4;
}

bool Mp3Source::rewind() {
    if (!file_ || !streamOpen_)
        return false;
    if (acmStreamReset(stream_, 0) != MMSYSERR_NOERROR)
        return false;
    if (fseeko(file_.get(), dataOffset_, SEEK_SET) != 0)
        return false;
    consumed_ = 0;
    pending_ = 0;
    lastOutput_ = 0;
    drained_ = false;
    delivered_ = 0;
    return true;
}

int Mp3Source::convertChunk() {
    if (consumed_ >= uint32_t(dataLength_)) {
        // The input has ended; what the codec still holds comes out until it is empty.
        if (drained_)
            return 4;
        const int result = convert(0, ACM_STREAMCONVERTF_END);
        if (result == 0 && lastOutput_ == 0)
            drained_ = true;
        return result;
    }
    const uint32_t n = std::min(inputChunkSize_, uint32_t(dataLength_) - consumed_);
    consumed_ += inputChunkSize_;
    const std::size_t got = std::fread(inputBuffer_.data(), 1, n, file_.get());
    if (got == 0 || std::ferror(file_.get()))
        return 3;
    return convert(uint32_t(got), consumed_ >= uint32_t(dataLength_) ? ACM_STREAMCONVERTF_END : 0);
}

int Mp3Source::convert(uint32_t inputBytes, uint32_t flags) {
    header_ = ACMSTREAMHEADER{};
    header_.cbStruct = ACMSTREAMHEADER_SIZE;
    header_.pbSrc = inputBuffer_.data();
    header_.cbSrcLength = inputBytes;
    header_.pbDst = outputBuffer_.data();
    header_.cbDstLength = kBufferSize;
    if (acmStreamPrepareHeader(stream_, &header_, 0) != MMSYSERR_NOERROR)
        return 1;
    if (acmStreamConvert(stream_, &header_, flags) != MMSYSERR_NOERROR) {
        acmStreamUnprepareHeader(stream_, &header_, 0);
        return 2;
    }
    pending_ = lastOutput_ = std::min(header_.cbDstLengthUsed, kBufferSize);
    acmStreamUnprepareHeader(stream_, &header_, 0);
    return 0;
}

bool Mp3Source::deliver(uint8_t* dst, uint32_t count, uint32_t& delivered) {
    delivered = 0;
    if (!file_)
        return false;
    for (;;) {
        if (consumed_ >= uint32_t(dataLength_) && pending_ == 0 && drained_)
            return true;
        if (delivered >= count)
            return true;
        if (pending_ == 0) {
            if (convertChunk() != 0)
                return false;
            continue;
        }
        const uint32_t n = std::min(pending_, count - delivered);
        if (dst != nullptr)
            std::memcpy(dst + delivered, outputBuffer_.data() + (lastOutput_ - pending_), n);
        pending_ -= n;
        delivered += n;
        delivered_ += n;
    }
}

bool Mp3Source::read(std::span<uint8_t> buffer, uint32_t& bytesRead) {
    const uint32_t count = uint32_t(std::min<std::size_t>(buffer.size(), UINT32_MAX));
    return deliver(buffer.data(), count, bytesRead);
}

bool Mp3Source::skip(uint32_t milliseconds, uint32_t& byteCounter) {
    const SkipAmounts amounts = skipAmounts(pcmFormat_, milliseconds);
    uint32_t passed = 0;
    const bool ok = deliver(nullptr, amounts.wholeSeconds + amounts.rest, passed);
    byteCounter += passed;
    return ok;
}

bool Mp3Source::close() {
    file_.reset();
    inputBuffer_ = {};
    outputBuffer_ = {};
    if (streamOpen_) {
        if (header_.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)
            acmStreamUnprepareHeader(stream_, &header_, 0);
        acmStreamClose(stream_, 0);
        streamOpen_ = false;
    }
    stream_ = nullptr;
    consumed_ = pending_ = lastOutput_ = 0;
    drained_ = false;
    statedLength_.reset();
    declaredLength_ = 0;
    frameSamples_ = 0;
    delivered_ = 0;
    return true;
}

std::optional<AudioSource::AnnouncedLength> Mp3Source::announcedLength() {
    const uint64_t frame = uint64_t(frameSamples_) * pcmFormat_.nBlockAlign;
    if (statedLength_)
        return AnnouncedLength{uint64_t(*statedLength_), frame};
    // The present bytes are the file's part of the declared ones; the whole stream would
    // have given that much more. Counted from the first frame header, as dataLength is not.
    const uint64_t present = uint64_t(dataLength_) + mpeg::kHeaderBytes;
    if (declaredLength_ > present && present > 0) {
        const double whole = double(delivered_) * double(declaredLength_) / double(present);
        return AnnouncedLength{uint64_t(whole), frame};
    }
    return std::nullopt;
}

}  // namespace tembrel
