#include "sources/sound_file_source.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/byte_order.h"

namespace tembrel {
namespace {

// Decodes the whole file to count its sample frames, then goes back to its start.
bool countFrames(SNDFILE* file, int channels, sf_count_t& frames) {
    std::vector<float> scratch(std::size_t(SoundFileSource::kStepFrames) * std::size_t(channels));
    frames = 0;
    for (sf_count_t n;
         (n = sf_readf_float(file, scratch.data(), SoundFileSource::kStepFrames)) > 0;)
        frames += n;
    return frames == 0 || sf_seek(file, 0, SEEK_SET) == 0;
}

}  // namespace

bool SoundFileSource::open(const char* path) {
    close();
    refusal_.clear();
    std::optional<OpenSoundFile> opened = path ? openFlacOrOgg(path) : std::nullopt;
    if (!opened)
        return false;
    const SF_INFO& info = opened->info;
    floats_ = !opened->isFlac();
    uint16_t bytesPerSample = 4;
    if (!floats_) {
        const int subtype = info.format & SF_FORMAT_SUBMASK;
        bytesPerSample = subtype == SF_FORMAT_PCM_S8 ? 1 : subtype == SF_FORMAT_PCM_16 ? 2 : 3;
    }
    if (info.channels <= 0 || info.channels > std::numeric_limits<uint16_t>::max() ||
        info.samplerate <= 0) {
        refusal_ = "no channels or no sampling rate";
        return false;
    }
    // A FLAC stream written without going back (from a pipe) may not state its length;
    // it is then counted by decoding it once.
    sf_count_t frames = info.frames;
    if (frames == SF_COUNT_MAX && !countFrames(opened->file.get(), info.channels, frames))
        return false;
    if (frames <= 0) {
        refusal_ = "holds no audio frames";
        return false;
    }
    const uint64_t blockAlign = uint64_t(bytesPerSample) * uint64_t(info.channels);
    if (blockAlign > std::numeric_limits<uint16_t>::max() ||
        uint64_t(frames) > uint64_t(std::numeric_limits<int32_t>::max()) / blockAlign) {
        refusal_ = "too long: more than 2 GiB of samples";
        return false;
    }
    format_ = {};
    format_.wFormatTag = floats_ ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    format_.nChannels = uint16_t(info.channels);
    format_.nSamplesPerSec = uint32_t(info.samplerate);
    format_.nBlockAlign = uint16_t(blockAlign);
    format_.nAvgBytesPerSec = format_.nSamplesPerSec * format_.nBlockAlign;
    format_.wBitsPerSample = uint16_t(bytesPerSample * 8);
    length_ = int32_t(uint64_t(frames) * blockAlign);
    lengthStated_ = opened->isFlac() && info.frames != SF_COUNT_MAX;
    file_ = std::move(opened->file);
    return true;
}

bool SoundFileSource::rewind() {
    if (!file_)
        return false;
    pending_ = 0;
    return sf_seek(file_.get(), 0, SEEK_SET) == 0;
}

bool SoundFileSource::decodeStep() {
    const std::size_t channels = format_.nChannels;
    const std::size_t samples = kStepFrames * channels;
    const std::size_t width = format_.wBitsPerSample / 8;
    pcm_.resize(samples * width);
    sf_count_t frames = 0;
    if (floats_) {
        floatsIn_.resize(samples);
        frames = sf_readf_float(file_.get(), floatsIn_.data(), kStepFrames);
        for (std::size_t i = 0; i < std::size_t(std::max<sf_count_t>(frames, 0)) * channels; ++i)
            bytes::storeLE(std::span(pcm_).subspan(i * 4), std::bit_cast<uint32_t>(floatsIn_[i]),
                           4);
    } else {
        // Integers come left-justified in 32 bits whatever the stored width.
        ints_.resize(samples);
        frames = sf_readf_int(file_.get(), ints_.data(), kStepFrames);
        for (std::size_t i = 0; i < std::size_t(std::max<sf_count_t>(frames, 0)) * channels; ++i) {
            const uint32_t value = uint32_t(ints_[i]) >> (32 - 8 * width);
            // 8-bit PCM is unsigned.
            bytes::storeLE(std::span(pcm_).subspan(i * width), width == 1 ? value ^ 0x80 : value,
                           width);
        }
    }
    if (frames <= 0)
        return false;
    pcm_.resize(std::size_t(frames) * channels * width);
    pending_ = pcm_.size();
    return true;
}

bool SoundFileSource::read(std::span<uint8_t> buffer, uint32_t& bytesRead) {
    bytesRead = 0;
    if (!file_)
        return true;
    while (bytesRead < buffer.size()) {
        if (pending_ == 0 && !decodeStep())
            return true;
        const std::size_t take = std::min<std::size_t>(pending_, buffer.size() - bytesRead);
        std::memcpy(buffer.data() + bytesRead, pcm_.data() + (pcm_.size() - pending_), take);
        pending_ -= take;
        bytesRead += uint32_t(take);
    }
    return true;
}

bool SoundFileSource::skip(uint32_t milliseconds, uint32_t& byteCounter) {
    if (!file_)
        return true;
    const SkipAmounts amounts = skipAmounts(format_, milliseconds);
    for (uint32_t amount : {amounts.wholeSeconds, amounts.rest}) {
        // Decoded bytes in hand go first; then whole frames are passed over by seeking.
        const uint32_t fromPending = uint32_t(std::min<std::size_t>(pending_, amount));
        pending_ -= fromPending;
        const sf_count_t before = sf_seek(file_.get(), 0, SEEK_CUR);
        const sf_count_t frames = (amount - fromPending) / format_.nBlockAlign;
        sf_count_t passed = 0;
        // A stream that cannot tell where it stands passes nothing; a seek past the end
        // stops at the end (which a damaged stream may not know either).
        if (before >= 0) {
            const sf_count_t after = sf_seek(file_.get(), frames, SEEK_CUR);
            const sf_count_t end = after >= 0 ? after : sf_seek(file_.get(), 0, SEEK_END);
            if (end > before)
                passed = std::min(end - before, frames);
        }
        byteCounter += fromPending + uint32_t(passed) * format_.nBlockAlign;
    }
    return true;
}

std::optional<AudioSource::AnnouncedLength> SoundFileSource::announcedLength() {
    if (!lengthStated_)
        return std::nullopt;
    return AnnouncedLength{uint64_t(length_), format_.nBlockAlign};
}

bool SoundFileSource::close() {
    file_.reset();
    lengthStated_ = false;
    pending_ = 0;
    pcm_.clear();
    ints_.clear();
    floatsIn_.clear();
    return true;
}

}  // namespace tembrel
