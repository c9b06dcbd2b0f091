// MP3 source: open a file of arbitrary bytes and read it to the end, then rewind and
// skip. After a successful open the same bytes also go straight through a conversion
// stream of the file's format into a small destination with guard bytes behind it, cut
// into pieces whose sizes the input chooses, so that the stream is seen to stay inside
// cbDstLength whatever it is handed.
#include <algorithm>
#include <array>
#include <vector>

#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_source.h"
#include "platform/acm.h"
#include "sources/mp3_source.h"

namespace {

using namespace tembrel;

constexpr uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 64;

void convertInPieces(const MPEGLAYER3WAVEFORMAT& mpeg, const uint8_t* data, size_t size) {
    alignas(4) WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    if (acmFormatSuggest(nullptr, &mpeg.wfx, &pcm, sizeof pcm, ACM_FORMATSUGGESTF_WFORMATTAG) !=
        MMSYSERR_NOERROR)
        return;
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, &mpeg.wfx, &pcm, nullptr, 0, 0,
                      ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
        return;
    // Piece and destination sizes come from the input's last two bytes, so the fuzzer
    // varies them along with the stream.
    const uint32_t piece = 1 + (size > 0 ? data[size - 1] : 0) * 7u;
    const uint32_t dstSize = (size > 1 ? data[size - 2] : 0) * 3u;  // zero included
    std::vector<uint8_t> input;
    std::vector<uint8_t> dst(dstSize + kGuardBytes, kGuard);
    size_t at = 0;
    bool end = false;
    // Bounded: every round either takes input or, once it has all gone, empties the
    // stream; a stream that keeps producing past that bound is a fault in itself.
    for (int round = 0; round < 20000; ++round) {
        const uint32_t n = uint32_t(std::min<size_t>(piece, size - at));
        input.assign(data + at, data + at + n);
        at += n;
        end = at >= size;
        ACMSTREAMHEADER h;
        h.cbStruct = ACMSTREAMHEADER_SIZE;
        h.pbSrc = n > 0 ? input.data() : nullptr;
        h.cbSrcLength = n;
        h.pbDst = dst.data();
        h.cbDstLength = dstSize;
        if (acmStreamPrepareHeader(stream, &h, 0) != MMSYSERR_NOERROR)
            break;
        const MMRESULT result = acmStreamConvert(stream, &h, end ? ACM_STREAMCONVERTF_END : 0);
        acmStreamUnprepareHeader(stream, &h, 0);
        if (h.cbDstLengthUsed > dstSize)
            __builtin_trap();
        for (std::size_t i = dstSize; i < dst.size(); ++i)
            if (dst[i] != kGuard)
                __builtin_trap();
        if (result != MMSYSERR_NOERROR)
            break;
        if (end && n == 0 && h.cbDstLengthUsed == 0)
            break;
        if (end && dstSize == 0)
            break;
    }
    acmStreamClose(stream, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = tembrel::fuzz::writeInput(data, size, ".mp3");
    Mp3Source source;
    if (source.open(path.c_str())) {
        const MPEGLAYER3WAVEFORMAT mpeg = source.mpegFormat();
        // Audio only once a PCM format is set.
        if (tembrel::fuzz::exerciseSource(source, 1500) > 0 && source.format()->nBlockAlign == 0)
            __builtin_trap();
        source.close();
        convertInPieces(mpeg, data, size);
    }
    return 0;
}
