#include "sources/wav_source.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "platform/byte_order.h"

namespace tembrel {
namespace {

constexpr FOURCC kWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC kFmt = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');

// Largest single mmioRead request.
constexpr uint32_t kMaxReadStep = uint32_t(std::numeric_limits<int32_t>::max());

bool readAll(HMMIO file, uint8_t* out, int32_t count) {
    return count == 0 || mmioRead(file, out, count) == count;
}

}  // namespace

int32_t WavSource::length() {
    return int32_t(dataChunk_.cksize);
}

const WAVEFORMATEX* WavSource::format() {
    return formatBlock_.empty() ? nullptr
                                : reinterpret_cast<const WAVEFORMATEX*>(formatBlock_.data());
}

bool WavSource::open(const char* path) {
    close();
    formatBlock_.clear();
    dataChunk_ = {};
    riffChunk_ = {};

    file_.reset(mmioOpenA(path, nullptr, MMIO_ALLOCBUF | MMIO_READ));
    if (!file_)
        return false;

    if (mmioDescend(file_.get(), &riffChunk_, nullptr, 0) != 0 || riffChunk_.ckid != FOURCC_RIFF ||
        riffChunk_.fccType != kWave)
        return fail();

    MMCKINFO fmtChunk{};
    fmtChunk.ckid = kFmt;
    if (mmioDescend(file_.get(), &fmtChunk, &riffChunk_, MMIO_FINDCHUNK) != 0 ||
        fmtChunk.cksize < 16 || !readFormat(fmtChunk))
        return fail();
    if (mmioAscend(file_.get(), &fmtChunk, 0) != 0)
        return fail();
    // MPEG audio in a WAVE file (as stream copiers write it) is decoded by the MPEG source,
    // which the selector tries next.
    const uint16_t tag = format()->wFormatTag;
    if (tag == WAVE_FORMAT_MPEG || tag == WAVE_FORMAT_MPEGLAYER3)
        return fail();

    if (!rewind())
        return fail();
    // length() is a signed 32-bit count: a larger data chunk cannot be described to the
    // consumer and is refused rather than reported with a negative length.
    if (dataChunk_.cksize > uint32_t(std::numeric_limits<int32_t>::max()))
        return fail();
    return true;
}

bool WavSource::readFormat(const MMCKINFO& fmtChunk) {
    std::array<uint8_t, 16> stored{};
    if (!readAll(file_.get(), stored.data(), int32_t(stored.size())))
        return false;
    const std::span<const uint8_t> in(stored);
    WAVEFORMATEX head;
    head.wFormatTag = bytes::readLE16(in);
    head.nChannels = bytes::readLE16(in.subspan(2));
    head.nSamplesPerSec = bytes::readLE32(in.subspan(4));
    head.nAvgBytesPerSec = bytes::readLE32(in.subspan(8));
    head.nBlockAlign = bytes::readLE16(in.subspan(12));
    head.wBitsPerSample = bytes::readLE16(in.subspan(14));
    head.cbSize = 0;

    // PCM needs nothing beyond the 16 bytes; a stored cbSize is not read. Other formats
    // carry cbSize and that many bytes of their own. A chunk of exactly 16 bytes has no
    // cbSize: it counts as 0 rather than being read from the next chunk's header.
    if (head.wFormatTag != WAVE_FORMAT_PCM && fmtChunk.cksize >= sizeof(WAVEFORMATEX)) {
        std::array<uint8_t, 2> size{};
        if (!readAll(file_.get(), size.data(), int32_t(size.size())))
            return false;
        head.cbSize = bytes::readLE16(size);
        if (uint32_t(sizeof(WAVEFORMATEX)) + head.cbSize > fmtChunk.cksize)
            return false;
    }

    formatBlock_.assign(sizeof(WAVEFORMATEX) + head.cbSize, 0);
    std::memcpy(formatBlock_.data(), &head, sizeof(WAVEFORMATEX));
    return readAll(file_.get(), formatBlock_.data() + sizeof(WAVEFORMATEX), head.cbSize);
}

bool WavSource::fail() {
    formatBlock_.clear();
    dataChunk_ = {};
    file_.reset();
    return false;
}

bool WavSource::rewind() {
    if (!file_)
        return false;
    position_ = 0;
    if (mmioSeek(file_.get(), int32_t(riffChunk_.dwDataOffset + 4), SEEK_SET) == -1)
        return false;
    MMCKINFO found{};
    found.ckid = kData;
    if (mmioDescend(file_.get(), &found, &riffChunk_, MMIO_FINDCHUNK) != 0)
        return false;
    // A "data" chunk cut short (a file that ended early, or sizes a stream writer never
    // fixed up) offers only the bytes present, as whole sample frames.
    declaredDataSize_ = found.cksize;
    const WAVEFORMATEX* f = format();
    if (found.dwFlags & MMIO_CLAMPED) {
        std::array<uint8_t, 4> stored{};
        if (mmioSeek(file_.get(), int32_t(found.dwDataOffset - 4), SEEK_SET) == -1 ||
            mmioRead(file_.get(), stored.data(), 4) != 4 ||
            mmioSeek(file_.get(), int32_t(found.dwDataOffset), SEEK_SET) == -1)
            return false;
        declaredDataSize_ = bytes::readLE32(stored);
        if (f && f->nBlockAlign > 0)
            found.cksize -= found.cksize % f->nBlockAlign;
    }
    dataChunk_ = found;
    return true;
}

bool WavSource::read(std::span<uint8_t> buffer, uint32_t& bytesRead) {
    bytesRead = 0;
    if (!file_)
        return false;
    const uint64_t remaining = position_ < dataChunk_.cksize ? dataChunk_.cksize - position_ : 0;
    uint64_t wanted = std::min<uint64_t>(buffer.size(), remaining);
    uint8_t* out = buffer.data();
    while (wanted > 0) {
        const auto step = uint32_t(std::min<uint64_t>(wanted, kMaxReadStep));
        const int32_t got = mmioRead(file_.get(), out, int32_t(step));
        if (got < 0) {
            bytesRead = 0;
            return false;
        }
        if (got == 0)
            break;  // the file ended early: hand out what there was
        bytesRead += uint32_t(got);
        position_ += uint32_t(got);
        out += got;
        wanted -= uint32_t(got);
    }
    return true;
}

bool WavSource::skip(uint32_t milliseconds, uint32_t& byteCounter) {
    const WAVEFORMATEX* f = format();
    if (!file_ || !f)
        return false;
    const SkipAmounts amounts = skipAmounts(*f, milliseconds);
    for (const uint32_t amount : {amounts.wholeSeconds, amounts.rest}) {
        if (amount == 0)
            continue;
        if (amount > kMaxReadStep || mmioSeek(file_.get(), int32_t(amount), SEEK_CUR) == -1)
            return false;
        byteCounter += amount;
        position_ += amount;
    }
    return true;
}

std::optional<AudioSource::AnnouncedLength> WavSource::announcedLength() {
    const WAVEFORMATEX* f = format();
    if (!f || !(dataChunk_.dwFlags & MMIO_CLAMPED) || isPlaceholderSize(declaredDataSize_))
        return std::nullopt;
    const uint32_t block = std::max<uint32_t>(1, f->nBlockAlign);
    return AnnouncedLength{declaredDataSize_ - declaredDataSize_ % block, block};
}

bool WavSource::close() {
    file_.reset();
    return true;
}

}  // namespace tembrel
