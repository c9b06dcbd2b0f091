// The conversion stream over libmpg123: format negotiation, buffering against small
// destination buffers, input that begins inside a frame, and reset.
#include "platform/acm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "test_support.h"

namespace tembrel {
namespace {

using test::TempDir;

MPEGLAYER3WAVEFORMAT mpegFormat(uint16_t channels, uint32_t rate, uint32_t kbps) {
    MPEGLAYER3WAVEFORMAT f{};
    f.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    f.wfx.nChannels = channels;
    f.wfx.nSamplesPerSec = rate;
    f.wfx.nAvgBytesPerSec = kbps * 1000 / 8;
    f.wfx.nBlockAlign = 1;
    f.wfx.cbSize = 12;
    f.wID = MPEGLAYER3_ID_MPEG;
    f.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    f.nBlockSize = uint16_t(kbps * 144000 / rate);
    f.nFramesPerBlock = 1;
    f.nCodecDelay = 1393;
    return f;
}

// An open stream for `mpeg`, closed at the end of the test.
class Stream {
  public:
    explicit Stream(const MPEGLAYER3WAVEFORMAT& mpeg) {
        pcm.wFormatTag = WAVE_FORMAT_PCM;
        EXPECT_EQ(
            acmFormatSuggest(nullptr, &mpeg.wfx, &pcm, sizeof pcm, ACM_FORMATSUGGESTF_WFORMATTAG),
            MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamOpen(&handle, nullptr, &mpeg.wfx, &pcm, nullptr, 0, 0,
                                ACM_STREAMOPENF_NONREALTIME),
                  MMSYSERR_NOERROR);
    }
    ~Stream() {
        if (handle) {
            EXPECT_EQ(acmStreamClose(handle, 0), MMSYSERR_NOERROR);
        }
    }

    // Feeds `input` in pieces of `piece` bytes, the last with the end flag, then empties
    // the stream; every conversion gets `room` bytes of output. Checks that nothing is
    // written past the room given.
    std::vector<uint8_t> decode(std::span<const uint8_t> input, std::size_t piece, uint32_t room) {
        std::vector<uint8_t> out, src, dst;
        std::size_t at = 0;
        for (;;) {
            const std::size_t n = std::min(piece, input.size() - at);
            src.assign(input.begin() + std::ptrdiff_t(at), input.begin() + std::ptrdiff_t(at + n));
            at += n;
            const bool last = at == input.size();
            dst.assign(room + 64, 0xA5);
            ACMSTREAMHEADER h;
            h.cbStruct = ACMSTREAMHEADER_SIZE;
            h.pbSrc = src.data();
            h.cbSrcLength = uint32_t(n);
            h.pbDst = dst.data();
            h.cbDstLength = room;
            EXPECT_EQ(acmStreamPrepareHeader(handle, &h, 0), MMSYSERR_NOERROR);
            EXPECT_EQ(acmStreamConvert(handle, &h, last ? ACM_STREAMCONVERTF_END : 0),
                      MMSYSERR_NOERROR);
            EXPECT_EQ(acmStreamUnprepareHeader(handle, &h, 0), MMSYSERR_NOERROR);
            EXPECT_EQ(h.cbSrcLengthUsed, n);
            EXPECT_LE(h.cbDstLengthUsed, room);
            EXPECT_TRUE(std::all_of(dst.begin() + room, dst.end(), [](uint8_t b) {
                return b == 0xA5;
            })) << "written past cbDstLength";
            out.insert(out.end(), dst.begin(), dst.begin() + h.cbDstLengthUsed);
            if (last && n == 0 && h.cbDstLengthUsed == 0)
                return out;
            if (::testing::Test::HasFailure())
                return out;
        }
    }

    WAVEFORMATEX pcm{};
    HACMSTREAM handle = nullptr;
};

// Silent MPEG-1 Layer II frames (128 kbit/s, 44100 Hz, stereo): every bit allocation
// is zero, so each frame decodes to 1152 zero samples per channel.
std::vector<uint8_t> silentLayer2(int frames) {
    std::vector<uint8_t> out;
    for (int i = 0; i < frames; ++i) {
        out.insert(out.end(), {0xFF, 0xFD, 0x80, 0x00});
        out.resize(out.size() + 417 - 4, 0);
    }
    return out;
}

TEST(AcmFormat, SuggestsSixteenBitPcmAtTheStreamRateAndChannels) {
    for (uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u}) {
        for (uint16_t channels : {1, 2}) {
            const auto mpeg = mpegFormat(channels, rate, 32);
            WAVEFORMATEX pcm{};
            pcm.wFormatTag = WAVE_FORMAT_PCM;
            ASSERT_EQ(acmFormatSuggest(nullptr, &mpeg.wfx, &pcm, sizeof pcm,
                                       ACM_FORMATSUGGESTF_WFORMATTAG),
                      MMSYSERR_NOERROR);
            EXPECT_EQ(pcm.nChannels, channels);
            EXPECT_EQ(pcm.nSamplesPerSec, rate);
            EXPECT_EQ(pcm.wBitsPerSample, 16);
            EXPECT_EQ(pcm.nBlockAlign, channels * 2);
            EXPECT_EQ(pcm.nAvgBytesPerSec, rate * channels * 2);
            EXPECT_EQ(pcm.cbSize, 0);
        }
    }
}

TEST(AcmFormat, RefusesWhatItCannotConvert) {
    const auto mpeg = mpegFormat(2, 44100, 128);
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = 0x55;
    EXPECT_EQ(acmFormatSuggest(nullptr, &mpeg.wfx, &pcm, sizeof pcm, ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    EXPECT_EQ(acmFormatSuggest(nullptr, &mpeg.wfx, &pcm, 16, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_INVALPARAM);
    auto odd = mpegFormat(2, 44000, 128);
    EXPECT_EQ(acmFormatSuggest(nullptr, &odd.wfx, &pcm, sizeof pcm, ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);

    // A stream is opened only towards the suggested format.
    ASSERT_EQ(acmFormatSuggest(nullptr, &mpeg.wfx, &pcm, sizeof pcm, ACM_FORMATSUGGESTF_WFORMATTAG),
              MMSYSERR_NOERROR);
    pcm.nSamplesPerSec = 48000;
    HACMSTREAM stream = reinterpret_cast<HACMSTREAM>(1);
    EXPECT_EQ(acmStreamOpen(&stream, nullptr, &mpeg.wfx, &pcm, nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(acmStreamClose(nullptr, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmStreamCalls, SizeAndHeaderPreparation) {
    Stream s(mpegFormat(2, 44100, 128));
    uint32_t size = 0;
    ASSERT_EQ(acmStreamSize(s.handle, 16000, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 176400u);
    ASSERT_EQ(acmStreamSize(s.handle, 0, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 0u);

    uint8_t src[4] = {}, dst[4] = {};
    ACMSTREAMHEADER h;
    h.cbStruct = ACMSTREAMHEADER_SIZE;
    h.pbSrc = src;
    h.cbSrcLength = 4;
    h.pbDst = dst;
    h.cbDstLength = 4;
    EXPECT_EQ(acmStreamConvert(s.handle, &h, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(s.handle, &h, 0), ACMERR_UNPREPARED);
    h.cbStruct = 40;
    EXPECT_EQ(acmStreamPrepareHeader(s.handle, &h, 0), MMSYSERR_INVALPARAM);
    h.cbStruct = ACMSTREAMHEADER_SIZE;
    ASSERT_EQ(acmStreamPrepareHeader(s.handle, &h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamConvert(s.handle, &h, 0x4000), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamConvert(s.handle, &h, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(h.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    EXPECT_EQ(acmStreamUnprepareHeader(s.handle, &h, 0), MMSYSERR_NOERROR);
}

TEST(AcmStreamConvert, LayerTwoFromInsideTheFirstFrame) {
    // Handed the stream from the fifth byte of its first frame, the stream passes over
    // the rest of that frame and decodes the others whole, in any piece sizes and into
    // any room, without writing past it.
    const auto frames = silentLayer2(12);
    const std::span<const uint8_t> input = std::span(frames).subspan(4);
    const std::pair<std::size_t, uint32_t> ways[] = {
        {input.size(), 1u << 20}, {1, 4608}, {97, 1000}, {5000, 3}};
    for (auto [piece, room] : ways) {
        SCOPED_TRACE(testing::Message() << "piece " << piece << " room " << room);
        Stream s(mpegFormat(2, 44100, 128));
        const auto pcm = s.decode(input, piece, room);
        EXPECT_EQ(pcm.size(), 11u * 1152 * 4);
        EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST(AcmStreamConvert, InputWithoutFramesGivesNothing) {
    Stream s(mpegFormat(2, 44100, 128));
    std::vector<uint8_t> junk(5000);
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = uint8_t(i * 7 % 251);
    junk[100] = 0xFF;  // a lone sync byte that no second header confirms
    junk[101] = 0xFB;
    EXPECT_TRUE(s.decode(junk, 1000, 4096).empty());
}

class AcmWithLame : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::haveTool("lame") || !test::haveTool("sox"))
            GTEST_SKIP() << "needs lame and sox";
        const std::string wav = dir.file("in.wav"), mp3 = dir.file("in.mp3");
        ASSERT_EQ(test::run("sox -V1 -D -n -r 44100 -c 2 -b 16 " + wav +
                            " synth 1.5 sine 300-3000 sine 500"),
                  0);
        ASSERT_EQ(test::run("lame --quiet -V 4 " + wav + " " + mp3), 0);
        mp3Bytes = test::readFile(mp3);
        ASSERT_GT(mp3Bytes.size(), 1000u);
    }
    TempDir dir;
    std::vector<uint8_t> mp3Bytes;
};

TEST_F(AcmWithLame, OutputDoesNotDependOnPiecesRoomOrWhereTheInputBegins) {
    const auto mpeg = mpegFormat(2, 44100, 128);
    Stream whole(mpeg);
    const auto reference = whole.decode(std::span(mp3Bytes).subspan(4), mp3Bytes.size(), 1 << 22);
    // The LAME tag's gap is trimmed: exactly the 1.5 s that were encoded.
    EXPECT_EQ(reference.size(), 66150u * 4);

    Stream dribbled(mpeg);
    EXPECT_EQ(dribbled.decode(std::span(mp3Bytes).subspan(4), 333, 4100), reference);
    Stream fromHeader(mpeg);
    EXPECT_EQ(fromHeader.decode(mp3Bytes, 4096, 1 << 16), reference);

    // After a reset the stream starts over as a new one.
    const auto firstHalf = std::span(mp3Bytes).subspan(4, mp3Bytes.size() / 2);
    (void)dribbled.decode(firstHalf, firstHalf.size(), 1 << 20);
    ASSERT_EQ(acmStreamReset(dribbled.handle, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(dribbled.decode(std::span(mp3Bytes).subspan(4), 8192, 1 << 18), reference);
}

}  // namespace
}  // namespace tembrel
