#include "platform/acm.h"

#include <mpg123.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "platform/byte_order.h"
#include "platform/mpeg_frame.h"

namespace tembrel {

namespace {

// Bytes of frameless input kept while looking for the first frame (a few frames' worth).
constexpr std::size_t kLeadInKept = 16384;

// Headers that must follow a frame header, each where the frame before it ends, before
// the stream is taken to begin (or, after damage, to resume) there. Audio data is full
// of byte pairs that look like a header; two that happen to lie a frame apart are not
// rare in low-rate streams, four in a row are.
constexpr int kConfirmingHeaders = 3;

constexpr std::array<uint32_t, 9> kMpegRates = {44100, 48000, 32000, 22050, 24000,
                                                16000, 11025, 12000, 8000};

struct DecoderDeleter {
    void operator()(mpg123_handle* h) const { mpg123_delete(h); }
};
using Decoder = std::unique_ptr<mpg123_handle, DecoderDeleter>;

bool isMpegFormat(const WAVEFORMATEX* f) {
    if (f == nullptr)
        return false;
    const uint32_t rate = f->nSamplesPerSec;  // a copy: the packed field may be misaligned
    return f->wFormatTag == WAVE_FORMAT_MPEGLAYER3 && (f->nChannels == 1 || f->nChannels == 2) &&
           std::find(kMpegRates.begin(), kMpegRates.end(), rate) != kMpegRates.end();
}

WAVEFORMATEX pcmFormatFor(const WAVEFORMATEX& mpeg) {
    WAVEFORMATEX pcm;
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = mpeg.nChannels;
    pcm.nSamplesPerSec = mpeg.nSamplesPerSec;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = uint16_t(pcm.nChannels * 2);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    pcm.cbSize = 0;
    return pcm;
}

}  // namespace

class AcmStream {
  public:
    AcmStream(const WAVEFORMATEX& mpeg, const WAVEFORMATEX& pcm)
        : srcBytesPerSec_(mpeg.nAvgBytesPerSec), pcm_(pcm) {}

    // A fresh decoder and an empty stream; false when libmpg123 refuses.
    bool start() {
        static std::once_flag once;
        std::call_once(once, [] { mpg123_init(); });
        *this = AcmStream(srcBytesPerSec_, pcm_);
        int err = MPG123_OK;
        decoder_.reset(mpg123_new(nullptr, &err));
        mpg123_handle* h = decoder_.get();
        if (h == nullptr)
            return false;
        // Our own trimming replaces libmpg123's gapless mode, which never sees the
        // information frame.
        if (mpg123_param(h, MPG123_FLAGS, MPG123_QUIET, 0) != MPG123_OK ||
            mpg123_format_none(h) != MPG123_OK ||
            mpg123_format(h, long(pcm_.nSamplesPerSec),
                          pcm_.nChannels == 1 ? MPG123_MONO : MPG123_STEREO,
                          MPG123_ENC_SIGNED_16) != MPG123_OK ||
            mpg123_open_feed(h) != MPG123_OK) {
            decoder_.reset();
            return false;
        }
        return true;
    }

    uint32_t sourceBytesPerSec() const { return srcBytesPerSec_; }
    const WAVEFORMATEX& pcm() const { return pcm_; }

    MMRESULT convert(ACMSTREAMHEADER& h, bool end) {
        if (!decoder_)
            return MMSYSERR_ERROR;
        if (h.pbSrc != nullptr)
            in_.insert(in_.end(), h.pbSrc, h.pbSrc + h.cbSrcLength);
        h.cbSrcLengthUsed = h.cbSrcLength;
        if (!synced_)
            findFirstFrame(end);
        if (synced_ && !feedFrames(end))
            return MMSYSERR_NOMEM;
        return fill(h.pbDst, h.pbDst ? h.cbDstLength : 0, h.cbDstLengthUsed);
    }

  private:
    AcmStream(uint32_t srcBytesPerSec, const WAVEFORMATEX& pcm)
        : srcBytesPerSec_(srcBytesPerSec), pcm_(pcm) {}

    // A frame header at `at` that can belong to this stream: the stream was opened for
    // one sampling rate, and once it has begun, version and layer are fixed too.
    std::optional<mpeg::FrameHeader> headerAt(std::size_t at) const {
        if (at + mpeg::kHeaderBytes > in_.size())
            return std::nullopt;
        auto h = mpeg::parseFrameHeader(std::span(in_).subspan(at));
        if (h && h->sampleRate != pcm_.nSamplesPerSec)
            return std::nullopt;
        if (h && synced_ && !mpeg::sameStream(*h, stream_))
            return std::nullopt;
        return h;
    }

    // Whether a frame header at `at` starts a frame: each of the next kConfirmingHeaders
    // frames must begin with a header of the same stream where the one before it ends,
    // unless the input ends exactly at the end of one of them. Nothing while the input
    // does not yet reach far enough to tell.
    std::optional<bool> confirmed(std::size_t at, const mpeg::FrameHeader& h, bool end) const {
        std::size_t next = at + h.frameBytes();
        for (int i = 0; i < kConfirmingHeaders; ++i) {
            if (next + mpeg::kHeaderBytes > in_.size()) {
                if (!end)
                    return std::nullopt;
                return next == in_.size();
            }
            const auto following = headerAt(next);
            if (!following || !mpeg::sameStream(h, *following))
                return false;
            next += following->frameBytes();
        }
        return true;
    }

    // Looks for the first frame header that the header after it confirms.
    void findFirstFrame(bool end) {
        for (; pos_ + mpeg::kHeaderBytes <= in_.size(); ++pos_) {
            const auto first = headerAt(pos_);
            if (!first)
                continue;
            const auto ok = confirmed(pos_, *first, end);
            if (!ok)
                return;  // decide when the next header is at hand
            if (*ok) {
                beginAt(*first);
                return;
            }
        }
        // Input that holds no frames is not kept beyond what could still be the start
        // of one; an information frame is out of reach then.
        if (pos_ > kLeadInKept) {
            in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(pos_));
            pos_ = 0;
            leadInCut_ = true;
        }
    }

    void beginAt(const mpeg::FrameHeader& first) {
        const std::span<const uint8_t> in(in_);
        // The input normally begins inside the frame before `first`: when that is an
        // information frame, what we have of it is its body after the header.
        std::optional<mpeg::VbrInfo> info;
        if (pos_ > 0 && !leadInCut_) {
            info = mpeg::parseVbrInfo(first, in.first(pos_));
            if (!info) {
                mpeg::FrameHeader other = first;
                other.channelMode = first.channelMode == mpeg::kSingleChannel
                                        ? mpeg::kStereo
                                        : mpeg::kSingleChannel;
                info = mpeg::parseVbrInfo(other, in.first(pos_));
            }
        } else if (pos_ == 0 && !leadInCut_) {
            const std::size_t frameEnd = std::min<std::size_t>(in.size(), first.frameBytes());
            info = mpeg::parseVbrInfo(
                first, in.subspan(mpeg::kHeaderBytes, frameEnd - mpeg::kHeaderBytes));
            if (info)
                pos_ = frameEnd;  // an information frame holds no audio
        }
        // Behind an information frame the first audio frame is decoded whole, so the
        // decoder's own delay is known; a LAME tag adds the encoder's delay and padding.
        if (info)
            trimBegin_ = mpeg::kDecoderDelay;
        if (info && info->hasEncoderGap) {
            trimBegin_ += info->encoderDelay;
            const uint64_t samples = uint64_t(info->frames) * first.samplesPerFrame();
            const uint64_t end =
                samples + mpeg::kDecoderDelay - std::min<uint64_t>(info->encoderPadding, samples);
            if (info->frames > 0 && end >= trimBegin_)
                trimEnd_ = end;
        }
        in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(pos_));
        pos_ = 0;
        stream_ = first;
        synced_ = true;
        inStep_ = true;
    }

    // Hands the decoder every whole frame of the input. Frames follow each other while
    // each header stands where the frame before it ends; after damage, bytes are passed
    // over up to the next header that the one after it confirms. Only frames of the
    // stream's version, layer and sampling rate reach the decoder.
    bool feedFrames(bool end) {
        std::size_t runStart = 0;
        bool fed = true;
        const auto feedRun = [&] {
            if (pos_ > runStart)
                fed = mpg123_feed(decoder_.get(), in_.data() + runStart, pos_ - runStart) ==
                          MPG123_OK &&
                      fed;
        };
        while (pos_ + mpeg::kHeaderBytes <= in_.size()) {
            const auto h = headerAt(pos_);
            if (inStep_ && h) {
                const std::size_t next = pos_ + h->frameBytes();
                if (next > in_.size())
                    break;  // the rest of the frame comes later
                pos_ = next;
                continue;
            }
            if (inStep_) {  // damage: the run of whole frames ends here
                feedRun();
                inStep_ = false;
            }
            if (h) {
                const auto ok = confirmed(pos_, *h, end);
                if (!ok)
                    break;  // decide when the next header is at hand
                if (*ok) {
                    runStart = pos_;
                    inStep_ = true;
                    continue;
                }
            }
            ++pos_;
        }
        if (inStep_)
            feedRun();
        if (end)
            pos_ = in_.size();  // what is left is a cut frame or junk
        in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(pos_));
        pos_ = 0;
        return fed;
    }

    // Writes held and newly decoded PCM into dst until it is full or the decoder needs
    // more input. What a decoded frame leaves over is held for the next call.
    MMRESULT fill(uint8_t* dst, uint32_t capacity, uint32_t& used) {
        used = 0;
        for (;;) {
            const std::size_t n = std::min<std::size_t>(held_.size() - heldPos_, capacity - used);
            if (n > 0)
                std::memcpy(dst + used, held_.data() + heldPos_, n);
            heldPos_ += n;
            used += uint32_t(n);
            if (heldPos_ < held_.size())
                return MMSYSERR_NOERROR;  // dst is full
            held_.clear();
            heldPos_ = 0;
            if (used == capacity || !synced_)
                return MMSYSERR_NOERROR;

            off_t frameNumber = 0;
            unsigned char* audio = nullptr;
            std::size_t bytes = 0;
            const int r = mpg123_decode_frame(decoder_.get(), &frameNumber, &audio, &bytes);
            if (r == MPG123_NEED_MORE || r == MPG123_DONE)
                return MMSYSERR_NOERROR;
            if (r == MPG123_NEW_FORMAT)
                continue;
            if (r != MPG123_OK)
                return MMSYSERR_ERROR;
            hold(std::span<const uint8_t>(audio, bytes));
        }
    }

    // Keeps the part of one decoded frame inside the trimmed range, as little-endian PCM.
    void hold(std::span<const uint8_t> frame) {
        const uint32_t align = pcm_.nBlockAlign;
        const uint64_t first = rawFrames_;
        rawFrames_ += frame.size() / align;
        const uint64_t from = std::max(first, trimBegin_);
        const uint64_t to = trimEnd_ ? std::min(rawFrames_, *trimEnd_) : rawFrames_;
        if (from >= to)
            return;
        held_.assign(frame.begin() + std::ptrdiff_t((from - first) * align),
                     frame.begin() + std::ptrdiff_t((to - first) * align));
        if constexpr (std::endian::native != std::endian::little) {
            for (std::size_t i = 0; i + 1 < held_.size(); i += 2) {
                int16_t sample;
                std::memcpy(&sample, &held_[i], 2);
                bytes::storeLE(std::span(held_).subspan(i), uint16_t(sample), 2);
            }
        }
    }

    uint32_t srcBytesPerSec_;
    WAVEFORMATEX pcm_;
    Decoder decoder_;
    std::vector<uint8_t> in_;    // input not yet handed to the decoder
    std::size_t pos_ = 0;        // scanning position in in_
    bool synced_ = false;        // the first frame has been found
    bool leadInCut_ = false;     // input before the first frame has been dropped
    bool inStep_ = false;        // pos_ is where the last whole frame ended
    mpeg::FrameHeader stream_;   // the first frame's header
    std::vector<uint8_t> held_;  // decoded PCM not yet handed out
    std::size_t heldPos_ = 0;
    uint64_t rawFrames_ = 0;  // sample frames decoded so far, before trimming
    uint64_t trimBegin_ = 0;
    std::optional<uint64_t> trimEnd_;
};

MMRESULT acmFormatSuggest(HACMDRIVER, const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst,
                          uint32_t cbwfxDst, uint32_t fdwSuggest) {
    if (pwfxDst == nullptr || cbwfxDst < sizeof(WAVEFORMATEX))
        return MMSYSERR_INVALPARAM;
    if (!isMpegFormat(pwfxSrc))
        return ACMERR_NOTPOSSIBLE;
    if ((fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG) && pwfxDst->wFormatTag != WAVE_FORMAT_PCM)
        return ACMERR_NOTPOSSIBLE;
    *pwfxDst = pcmFormatFor(*pwfxSrc);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER, const WAVEFORMATEX* pwfxSrc,
                       const WAVEFORMATEX* pwfxDst, void*, uintptr_t, uintptr_t, uint32_t fdwOpen) {
    if (phas == nullptr || pwfxDst == nullptr)
        return MMSYSERR_INVALPARAM;
    *phas = nullptr;
    if ((fdwOpen & ~ACM_STREAMOPENF_NONREALTIME) != 0)
        return MMSYSERR_INVALFLAG;
    if (!isMpegFormat(pwfxSrc))
        return ACMERR_NOTPOSSIBLE;
    const WAVEFORMATEX pcm = pcmFormatFor(*pwfxSrc);
    if (pwfxDst->wFormatTag != pcm.wFormatTag || pwfxDst->nChannels != pcm.nChannels ||
        pwfxDst->nSamplesPerSec != pcm.nSamplesPerSec ||
        pwfxDst->wBitsPerSample != pcm.wBitsPerSample || pwfxDst->nBlockAlign != pcm.nBlockAlign)
        return ACMERR_NOTPOSSIBLE;
    auto stream = std::unique_ptr<AcmStream>(new (std::nothrow) AcmStream(*pwfxSrc, pcm));
    if (!stream)
        return MMSYSERR_NOMEM;
    if (!stream->start())
        return MMSYSERR_ERROR;
    *phas = stream.release();  // the caller's until acmStreamClose
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes,
                       uint32_t fdwSize) {
    if (has == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (pdwOutputBytes == nullptr)
        return MMSYSERR_INVALPARAM;
    const uint64_t src = has->sourceBytesPerSec();
    const uint64_t dst = has->pcm().nAvgBytesPerSec;
    const uint64_t align = has->pcm().nBlockAlign;
    if (src == 0 || dst == 0)
        return ACMERR_NOTPOSSIBLE;
    uint64_t size = 0;
    if (fdwSize == ACM_STREAMSIZEF_SOURCE) {
        size = (uint64_t(cbInput) * dst + src - 1) / src;
        size = (size + align - 1) / align * align;
    } else if (fdwSize == ACM_STREAMSIZEF_DESTINATION) {
        size = uint64_t(cbInput) * src / dst;
    } else {
        return MMSYSERR_INVALFLAG;
    }
    *pdwOutputBytes = uint32_t(std::min<uint64_t>(size, UINT32_MAX));
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t) {
    if (has == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (pash == nullptr || pash->cbStruct < ACMSTREAMHEADER_SIZE ||
        (pash->pbSrc == nullptr && pash->cbSrcLength > 0) ||
        (pash->pbDst == nullptr && pash->cbDstLength > 0))
        return MMSYSERR_INVALPARAM;
    pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert) {
    if (has == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (pash == nullptr || pash->cbStruct < ACMSTREAMHEADER_SIZE)
        return MMSYSERR_INVALPARAM;
    if ((fdwConvert & ~ACM_STREAMCONVERTF_END) != 0)
        return MMSYSERR_INVALFLAG;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    pash->cbSrcLengthUsed = 0;
    pash->cbDstLengthUsed = 0;
    const MMRESULT result = has->convert(*pash, (fdwConvert & ACM_STREAMCONVERTF_END) != 0);
    pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return result;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t) {
    if (has == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (pash == nullptr)
        return MMSYSERR_INVALPARAM;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
        return ACMERR_UNPREPARED;
    pash->fdwStatus &= ~(ACMSTREAMHEADER_STATUSF_PREPARED | ACMSTREAMHEADER_STATUSF_DONE);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamReset(HACMSTREAM has, uint32_t fdwReset) {
    if (has == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (fdwReset != 0)
        return MMSYSERR_INVALFLAG;
    return has->start() ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose) {
    if (has == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (fdwClose != 0)
        return MMSYSERR_INVALFLAG;
    delete has;  // handed out by acmStreamOpen
    return MMSYSERR_NOERROR;
}

}  // namespace tembrel
