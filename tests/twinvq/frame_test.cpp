#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "fake_tvq.h"
#include "frame_test_support.h"
#include "test_support.h"
#include "tests/vqfheader/chunk_bytes.h"
#include "twinvq/bit_file.h"
#include "twinvq/frame_reader.h"
#include "twinvq/frame_writer.h"
#include "vqfheader/header_manager.h"
#include "vqfheader/header_reader.h"
#include "vqfheader/header_writer.h"

namespace tembrel {
namespace {

using test::abcInfo;
using test::Bytes;
using test::FrameStore;
using test::readFile;
using test::ShapeLayout;
using test::TempDir;
using test::writeFile;
using test::operator+;

constexpr int32_t kUntouched = -7777;

int32_t randomFitting(std::mt19937& rng, int width) {
    if (width <= 0)
        return 0;
    if (width >= 32)
        return int32_t(rng());
    return int32_t(rng() & ((1u << width) - 1));
}

void fillArray(std::mt19937& rng, int32_t* values, int count, int width) {
    for (int i = 0; i < count; ++i)
        values[i] = randomFitting(rng, width);
}

// Random values that fit their fields in every place the frame of `blockType` uses.
void fillFrame(std::mt19937& rng, FrameStore& f, const fake::Config& cfg, int windowType,
               const ShapeLayout& shape) {
    const ConfInfo& c = cfg.conf;
    const int bt = windowType % 3;
    const BlockConf& b = c.blocks[bt];
    f.index.windowType = windowType;
    f.index.blockType = bt;
    for (int i = 0; i < shape.count; ++i) {
        f.shape[size_t(i)] = randomFitting(rng, shape.shape0[size_t(i)]);
        f.shape[size_t(shape.count + i)] = randomFitting(rng, shape.shape1[size_t(i)]);
    }
    const int ch = c.numChannels;
    fillArray(rng, f.env.data(), ch * b.subBlocks * b.envCoefCount, b.envBits);
    fillArray(rng, f.ar.data(), ch * b.subBlocks, c.arSwitchBits);
    for (int k = 0; k < ch; ++k) {
        const int base = k * (b.subGainCount + 1);
        f.power[size_t(base)] = randomFitting(rng, c.gainBits);
        fillArray(rng, f.power.data() + base + 1, b.subGainCount, c.subGainBits);
        f.lsp[size_t(k)][0] = randomFitting(rng, c.lspBits0);
        f.lsp[size_t(k)][1] = randomFitting(rng, c.lspBits1);
        fillArray(rng, f.lsp[size_t(k)].data() + 2, c.lspSplit, c.lspBits2);
        f.index.pitchIndex[k] = randomFitting(rng, c.pitchBits);
        f.index.pitchGainIndex[k] = randomFitting(rng, c.pitchGainBits);
        fillArray(rng, f.pb[size_t(k)].data(), b.subBlocks * (b.pbEnd - b.pbStart), b.pbBits);
    }
    for (int i = 0; i < c.pitchVectorCount; ++i) {
        f.pitchShape[size_t(i)] = randomFitting(rng, cfg.shape0[3][size_t(i)]);
        f.pitchShape[size_t(c.pitchVectorCount + i)] = randomFitting(rng, cfg.shape1[3][size_t(i)]);
    }
}

// The first `used` entries were read back as written; the rest were not touched.
void expectPrefix(const char* what, const std::vector<int32_t>& written,
                  const std::vector<int32_t>& read, int used) {
    for (size_t i = 0; i < read.size(); ++i) {
        if (int(i) < used)
            ASSERT_EQ(read[i], written[i]) << what << "[" << i << "]";
        else
            ASSERT_EQ(read[i], kUntouched)
                << what << "[" << i << "] beyond the " << used << " used";
    }
}

void expectSameFrame(const FrameStore& w, const FrameStore& r, const fake::Config& cfg,
                     const ShapeLayout& shape) {
    const ConfInfo& c = cfg.conf;
    const int bt = w.index.blockType;
    const BlockConf& b = c.blocks[bt];
    const int ch = c.numChannels;
    EXPECT_EQ(r.index.windowType, w.index.windowType);
    EXPECT_EQ(r.index.blockType, bt);
    expectPrefix("shape", w.shape, r.shape, 2 * shape.count);
    expectPrefix("env", w.env, r.env, ch * b.subBlocks * b.envCoefCount);
    expectPrefix("ar", w.ar, r.ar, ch * b.subBlocks);
    expectPrefix("power", w.power, r.power, ch * (b.subGainCount + 1));
    expectPrefix("pitchShape", w.pitchShape, r.pitchShape, b.hasPitch ? 2 * c.pitchVectorCount : 0);
    for (int k = 0; k < 2; ++k) {
        const bool used = k < ch;
        expectPrefix("lsp", w.lsp[size_t(k)], r.lsp[size_t(k)], used ? 2 + c.lspSplit : 0);
        expectPrefix("pb", w.pb[size_t(k)], r.pb[size_t(k)],
                     used && b.hasPb ? b.subBlocks * (b.pbEnd - b.pbStart) : 0);
        EXPECT_EQ(r.index.pitchIndex[k], used && b.hasPitch ? w.index.pitchIndex[k] : kUntouched);
        EXPECT_EQ(r.index.pitchGainIndex[k],
                  used && b.hasPitch ? w.index.pitchGainIndex[k] : kUntouched);
    }
}

enum class Parts { None, Pitch, Pb, Both, Mixed };

fake::Config randomConfig(std::mt19937& rng, int channels, Parts parts, bool withUpdates) {
    auto r = [&rng](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    auto width = [&] { return rng() % 8 == 0 ? 32 : r(0, 12); };
    fake::Config cfg;
    ConfInfo& c = cfg.conf;
    c.numChannels = channels;
    c.windowTypeBits = 4;  // 9 .. 15 are window types the fake refuses
    c.lspBits0 = r(0, 12);
    c.lspBits1 = r(0, 12);
    c.lspBits2 = r(0, 8);
    c.lspSplit = r(0, 4);
    c.arSwitchBits = r(0, 3);
    c.gainBits = r(1, 10);
    c.subGainBits = r(0, 6);
    c.pitchVectorCount = r(0, 3);
    c.pitchBits = r(0, 10);
    c.pitchGainBits = r(0, 8);
    for (int bt = 0; bt < 3; ++bt) {
        BlockConf& b = c.blocks[bt];
        b.subBlocks = r(1, 4);
        b.shapeVectorCount = r(0, 8);
        b.pbStart = r(0, 2);
        b.pbEnd = b.pbStart + r(0, 3);
        b.envCoefCount = r(0, 3);
        b.envBits = r(0, 8);
        b.subGainCount = r(0, 3);
        b.pbBits = r(0, 6);
        const bool mixed = parts == Parts::Mixed;
        b.hasPitch = mixed ? bt == 0 : parts == Parts::Pitch || parts == Parts::Both;
        b.hasPb = mixed ? bt == 1 : parts == Parts::Pb || parts == Parts::Both;
        for (int i = 0; i < b.shapeVectorCount; ++i) {
            cfg.shape0[size_t(bt)].push_back(width());
            cfg.shape1[size_t(bt)].push_back(width());
        }
    }
    for (int i = 0; i < c.pitchVectorCount; ++i) {
        cfg.shape0[3].push_back(width());
        cfg.shape1[3].push_back(width());
    }
    if (withUpdates) {
        for (int u = 0; u < 2; ++u) {
            fake::ShortBlockUpdate update;
            update.count = r(0, 8);
            for (int i = 0; i < update.count; ++i) {
                update.shape0.push_back(width());
                update.shape1.push_back(width());
            }
            cfg.updates.push_back(update);
        }
    }
    return cfg;
}

// Writes a header and `frames` random frames with `config`, reads them back and
// compares them field by field.
void roundTrip(const fake::Config& config, int frames, std::mt19937& rng, const std::string& path) {
    fake::install(config);
    ConfInfo conf;
    VectorInfo vectors;
    fake::encoderTables(conf, vectors);
    FrameWriter writer(conf, vectors);
    const int channels = config.conf.numChannels;

    std::vector<std::unique_ptr<FrameStore>> written;
    std::vector<ShapeLayout> shapes;
    std::deque<int> lengths;
    int shortFrames = 0;
    int64_t expectedBits = 0;
    BitFile* out = BitFile::open(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    auto header = BuildHeader(abcInfo(), "");
    ASSERT_EQ(FrameWriter::writeHeaderChunk(out, *header), 0);
    const int64_t headerBits = BitFile::tell(out);
    for (int i = 0; i < frames; ++i) {
        // Every block type appears; the rest are random.
        const int windowType = i < 3 ? i : int(rng() % 9);
        const int bt = windowType % 3;
        ShapeLayout shape = test::shapeLayout(config, bt, shortFrames);
        if (bt == 2)
            ++shortFrames;
        auto f = std::make_unique<FrameStore>(channels, kUntouched);
        fillFrame(rng, *f, config, windowType, shape);
        writer.writeFrame(f->index, out);
        lengths.push_back(test::frameBits(config, bt, shape));
        expectedBits += lengths.back();
        ASSERT_EQ(BitFile::tell(out) - headerBits, expectedBits) << "frame " << i;
        written.push_back(std::move(f));
        shapes.push_back(std::move(shape));
    }
    EXPECT_EQ(BitFile::close(out), 0);
    EXPECT_EQ(fake::calls().encoderUpdates, shortFrames);

    fake::config().fixedBitsQueue = lengths;
    fake::config().fixedBits = lengths.front();
    UniqueBitFile in(BitFile::open(path.c_str(), "rb"));
    ASSERT_NE(in, nullptr);
    auto top = FrameReader::readHeaderChunk(in.get());
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->data(), header->data());
    auto manager = CreateHeaderManager(*top);
    ASSERT_NE(manager, nullptr);
    HeaderInfo info;
    ASSERT_EQ(ReadHeaderInfo(*manager, info), 0);
    FrameReader reader;
    ASSERT_EQ(reader.prepareDecoding(info), 0);
    for (int i = 0; i < frames; ++i) {
        FrameStore r(channels, kUntouched);
        ASSERT_TRUE(reader.readFrame(r.index, in.get())) << "frame " << i;
        expectSameFrame(*written[size_t(i)], r, config, shapes[size_t(i)]);
        if (testing::Test::HasFatalFailure())
            return;
    }
    EXPECT_EQ(fake::calls().decoderUpdates, shortFrames);
    FrameStore r(channels, kUntouched);
    EXPECT_FALSE(reader.readFrame(r.index, in.get()));
}

TEST(Frames, WriterAndReaderAgreeFieldByField) {
    TempDir dir;
    std::mt19937 rng(20260);
    int round = 0;
    for (int channels : {1, 2}) {
        for (Parts parts : {Parts::None, Parts::Pitch, Parts::Pb, Parts::Both, Parts::Mixed}) {
            for (bool updates : {false, true}) {
                SCOPED_TRACE(testing::Message() << "channels " << channels << " parts "
                                                << int(parts) << " updates " << updates);
                const fake::Config cfg = randomConfig(rng, channels, parts, updates);
                roundTrip(cfg, 25, rng, dir.file("s" + std::to_string(round++)));
                if (HasFatalFailure())
                    return;
            }
        }
    }
}

TEST(Frames, FieldOrderOfOneFrame) {
    // A small stereo frame with every part, the fields listed in stream order by hand.
    fake::Config cfg;
    ConfInfo& c = cfg.conf;
    c = ConfInfo{2, 3, 2, 3, 1, 2, 1, 4, 2, 1, 3, 2, {}};
    c.blocks[0] = BlockConf{0, 2, 2, 3, 2, 2, 1, 1, 1, 1, 1, {}};
    cfg.shape0 = {{{3, 2}, {}, {}, {2}}};
    cfg.shape1 = {{{1, 4}, {}, {}, {3}}};
    fake::install(cfg);
    ConfInfo conf;
    VectorInfo vectors;
    fake::encoderTables(conf, vectors);

    FrameStore f(2, 0);
    std::vector<std::pair<int32_t, int>> expected;
    int32_t next = 1;
    auto field = [&](int32_t& slot, int width) {
        slot = next++ % (1 << width);
        expected.emplace_back(slot, width);
    };
    f.index.blockType = 0;
    field(f.index.windowType, 3);
    field(f.shape[0], 3), field(f.shape[2], 1), field(f.shape[1], 2), field(f.shape[3], 4);
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7})
        field(f.env[size_t(i)], 2);  // ch, sb, k
    for (int i : {0, 1, 2, 3})
        field(f.ar[size_t(i)], 1);  // ch, sb
    field(f.power[0], 4), field(f.power[1], 2), field(f.power[2], 4), field(f.power[3], 2);
    for (int ch : {0, 1}) {
        field(f.lsp[size_t(ch)][0], 2), field(f.lsp[size_t(ch)][1], 3);
        field(f.lsp[size_t(ch)][2], 1), field(f.lsp[size_t(ch)][3], 1);
    }
    field(f.pitchShape[0], 2), field(f.pitchShape[1], 3);
    field(f.index.pitchIndex[0], 3), field(f.index.pitchGainIndex[0], 2);
    field(f.index.pitchIndex[1], 3), field(f.index.pitchGainIndex[1], 2);
    for (int ch : {0, 1})
        for (int i : {0, 1, 2, 3})
            field(f.pb[size_t(ch)][size_t(i)], 1);  // sb, k

    TempDir dir;
    BitFile* out = BitFile::open(dir.file("frame").c_str(), "wb");
    FrameWriter(conf, vectors).writeFrame(f.index, out);
    BitFile::close(out);
    BitFile* ref = BitFile::open(dir.file("expected").c_str(), "wb");
    for (auto [value, width] : expected)
        BitFile::putBits(value, width, ref);
    BitFile::close(ref);
    EXPECT_EQ(readFile(dir.path() / "frame"), readFile(dir.path() / "expected"));
}

fake::Config diagnosticConfig(int channels) {
    fake::Config cfg;
    ConfInfo& c = cfg.conf;
    c = ConfInfo{channels, 2, 2, 2, 2, 1, 2, 2, 2, 1, 2, 2, {}};
    c.blocks[0] = BlockConf{0, 1, 1, 1, 1, 2, 1, 1, 1, 0, 2, {}};
    cfg.shape0 = {{{2}, {}, {}, {2}}};
    cfg.shape1 = {{{2}, {}, {}, {2}}};
    return cfg;
}

TEST(Frames, ValuesThatDoNotFitAreWrittenCutAndReported) {
    TempDir dir;
    fake::install(diagnosticConfig(1));
    ConfInfo conf;
    VectorInfo vectors;
    fake::encoderTables(conf, vectors);
    FrameWriter writer(conf, vectors);

    FrameStore f(1, 5);
    f.index.blockType = 0;
    BitFile* out = BitFile::open(dir.file("f").c_str(), "wb");
    testing::internal::CaptureStdout();
    writer.writeFrame(f.index, out);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "shape0 0, 2 5\n"
              "shape1 0, 2 5\n"
              "forward short 0, 0, 0, 5\n"
              "forward AR param. ch: 0, sh_no: 0, ind: 5\n"
              "power  2 5\n"
              "power 0, 2 5\n"
              "lsp0 2 5\n"
              "lsp1 2 5\n"
              "lsp2 0, 2 5\n"
              "codebook0_pit 0, 2 5\n"
              "codebook1_pit 0, 2 5\n"
              "index_pitch 2 5\n"
              "index_pgain 2 5\n"
              "index_pb 2 5");
    EXPECT_EQ(BitFile::close(out), 0);
    // 15 fields of 2 bits, each the low bits 01 of 5; the window type has no message.
    EXPECT_EQ(readFile(dir.path() / "f"), (Bytes{0x55, 0x55, 0x55, 0x54}));

    FrameStore fits(1, 3);
    fits.index.blockType = 0;
    out = BitFile::open(dir.file("g").c_str(), "wb");
    testing::internal::CaptureStdout();
    writer.writeFrame(fits.index, out);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    BitFile::close(out);
}

TEST(Frames, DiagnosticsNameTheChannelSubBlockAndCoefficient) {
    TempDir dir;
    fake::Config cfg = diagnosticConfig(2);
    cfg.conf.blocks[0].subBlocks = 2;
    cfg.conf.blocks[0].envCoefCount = 2;
    fake::install(cfg);
    ConfInfo conf;
    VectorInfo vectors;
    fake::encoderTables(conf, vectors);
    FrameStore f(2, 0);
    f.index.blockType = 0;
    f.env[(1 * 2 + 1) * 2 + 0] = 9;  // ch 1, sb 1, k 0
    f.ar[1 * 2 + 0] = 4;             // ch 1, sb 0
    f.power[1 * 2 + 1] = 4;          // ch 1, j 0
    BitFile* out = BitFile::open(dir.file("f").c_str(), "wb");
    testing::internal::CaptureStdout();
    FrameWriter(conf, vectors).writeFrame(f.index, out);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "forward short 1, 1, 0, 9\n"
              "forward AR param. ch: 1, sh_no: 0, ind: 4\n"
              "power 0, 2 4\n");
    BitFile::close(out);
}

// A stream whose frames are all `bits` long and whose lsp0 field holds the frame number.
fake::Config numberedConfig() {
    fake::Config cfg;
    ConfInfo& c = cfg.conf;
    c.numChannels = 1;
    c.windowTypeBits = 4;
    c.gainBits = 13;
    c.lspBits0 = c.lspBits1 = c.lspBits2 = 32;
    c.lspSplit = 28;
    for (BlockConf& b : c.blocks) {
        b.subBlocks = 1;
        b.envCoefCount = 1;
        b.envBits = 24;
    }
    cfg.fixedBits = 4 + 13 + 30 * 32 + 24;  // 1001
    return cfg;
}

void writeNumberedStream(const std::string& path, const CChunk& header, int frames,
                         int64_t* firstFrameBit = nullptr) {
    ConfInfo conf;
    VectorInfo vectors;
    fake::encoderTables(conf, vectors);
    FrameWriter writer(conf, vectors);
    BitFile* out = BitFile::open(path.c_str(), "wb");
    ASSERT_EQ(FrameWriter::writeHeaderChunk(out, header), 0);
    if (firstFrameBit)
        *firstFrameBit = BitFile::tell(out);
    for (int i = 0; i < frames; ++i) {
        FrameStore f(1, 0);
        f.index.windowType = i % 9;
        f.index.blockType = i % 3;
        f.lsp[0][0] = i;
        writer.writeFrame(f.index, out);
    }
    ASSERT_EQ(BitFile::close(out), 0);
}

TEST(Frames, KFramesGiveKReadsThenFalse) {
    TempDir dir;
    fake::Config cfg;
    cfg.conf.numChannels = 1;
    cfg.conf.windowTypeBits = 2;
    cfg.conf.gainBits = 3;
    cfg.fixedBits = 5;  // three frames end one bit short of a whole byte
    fake::install(cfg);
    CChunkChunk header(kTvqVersionId);
    ConfInfo conf;
    VectorInfo vectors;
    fake::encoderTables(conf, vectors);
    BitFile* out = BitFile::open(dir.file("f").c_str(), "wb");
    FrameWriter::writeHeaderChunk(out, header);
    for (int i = 0; i < 3; ++i) {
        FrameStore f(1, 0);
        f.index.windowType = 1;
        f.index.blockType = 1;
        f.power[0] = 5;
        FrameWriter(conf, vectors).writeFrame(f.index, out);
    }
    BitFile::close(out);
    EXPECT_EQ(readFile(dir.path() / "f").size(), 20u + 2u);

    UniqueBitFile in(BitFile::open(dir.file("f").c_str(), "rb"));
    ASSERT_NE(FrameReader::readHeaderChunk(in.get()), nullptr);
    FrameReader reader;
    HeaderInfo info{};
    std::strcpy(info.id, kTvqVersionId);
    ASSERT_EQ(reader.prepareDecoding(info), 0);
    for (int i = 0; i < 3; ++i) {
        FrameStore r(1, 0);
        EXPECT_TRUE(reader.readFrame(r.index, in.get()));
        EXPECT_EQ(r.power[0], 5);
    }
    FrameStore r(1, 0);
    EXPECT_FALSE(reader.readFrame(r.index, in.get()));
    EXPECT_FALSE(reader.readFrame(r.index, in.get()));
}

TEST(Frames, SkipFramesMovesByWholeFramesAcrossBlocks) {
    TempDir dir;
    fake::install(numberedConfig());
    // 12 + 4 + 1004 + 4: the first frame starts exactly on the second block.
    CChunkChunk header(kTvqVersionId);
    header.PutChunk(CChunk("GUID", Bytes(996, 0xAB)));
    int64_t firstFrame = 0;
    writeNumberedStream(dir.file("f"), header, 40, &firstFrame);
    ASSERT_EQ(firstFrame, BitFile::kBlockBits);

    UniqueBitFile in(BitFile::open(dir.file("f").c_str(), "rb"));
    ASSERT_NE(FrameReader::readHeaderChunk(in.get()), nullptr);
    FrameReader reader;
    HeaderInfo info{};
    std::strcpy(info.id, kTvqVersionId);
    ASSERT_EQ(reader.prepareDecoding(info), 0);

    EXPECT_EQ(reader.skipFrames(in.get(), 3), 0);
    EXPECT_EQ(BitFile::tell(in.get()), firstFrame + 3 * 1001);
    int expected = 3;
    while (expected < 40) {
        FrameStore r(1, 0);
        ASSERT_TRUE(reader.readFrame(r.index, in.get())) << expected;
        EXPECT_EQ(r.lsp[0][0], expected);
        ASSERT_EQ(reader.skipFrames(in.get(), 3), 0);
        expected += 4;
    }
    ASSERT_EQ(reader.skipFrames(in.get(), -10), 0);
    FrameStore back(1, 0);
    ASSERT_TRUE(reader.readFrame(back.index, in.get()));
    EXPECT_EQ(back.lsp[0][0], expected - 10);
    // Past the end: the seek succeeds and the next read fails.
    EXPECT_EQ(reader.skipFrames(in.get(), 100), 0);
    EXPECT_FALSE(reader.readFrame(back.index, in.get()));
}

TEST(Frames, InvalidWindowTypeEndsTheStream) {
    TempDir dir;
    fake::Config cfg = numberedConfig();
    cfg.maxWindowType = 5;
    fake::install(cfg);
    CChunkChunk header(kTvqVersionId);
    writeNumberedStream(dir.file("f"), header, 8);  // frames 6 and 7 have refused types
    UniqueBitFile in(BitFile::open(dir.file("f").c_str(), "rb"));
    ASSERT_NE(FrameReader::readHeaderChunk(in.get()), nullptr);
    FrameReader reader;
    HeaderInfo info{};
    std::strcpy(info.id, kTvqVersionId);
    reader.prepareDecoding(info);
    FrameStore r(1, 0);
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(reader.readFrame(r.index, in.get()));
    const int64_t before = BitFile::tell(in.get());
    EXPECT_FALSE(reader.readFrame(r.index, in.get()));
    EXPECT_EQ(BitFile::tell(in.get()), before + 4);  // only the window type was read
}

TEST(FrameHeader, WrittenBytesAndReadBack) {
    TempDir dir;
    fake::install(fake::Config{});
    auto header = BuildHeader(abcInfo(), dir.file("header_info"));
    BitFile* out = BitFile::open(dir.file("f").c_str(), "wb");
    ASSERT_EQ(FrameWriter::writeHeaderChunk(out, *header), 0);
    BitFile::close(out);
    const Bytes expected =
        test::bytesOf("TWIN97012000") + Bytes{0, 0, 0, 0x23} + test::bytesOf("COMM") +
        Bytes{0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0, 0x60, 0, 0, 0, 0x2C, 0, 0, 0, 0} +
        test::bytesOf("NAME") + Bytes{0, 0, 0, 3} + test::bytesOf("abcDATA");
    EXPECT_EQ(readFile(dir.path() / "f"), expected);

    UniqueBitFile in(BitFile::open(dir.file("f").c_str(), "rb"));
    auto top = FrameReader::readHeaderChunk(in.get());
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->id(), "TWIN97012000");
    EXPECT_EQ(top->data(), header->data());
    EXPECT_EQ(BitFile::tell(in.get()), int64_t(expected.size()) * 8);
    auto manager = CreateHeaderManager(*top);
    ASSERT_NE(manager, nullptr);
    HeaderInfo info;
    EXPECT_EQ(ReadHeaderInfo(*manager, info), 0);
    EXPECT_EQ(info.bitRate, 96);
}

TEST(FrameHeader, FirstFrameFollowsTheDataMark) {
    TempDir dir;
    CChunkChunk header(kTvqVersionId, Bytes(300, 0x11));
    BitFile* out = BitFile::open(dir.file("f").c_str(), "wb");
    ASSERT_EQ(FrameWriter::writeHeaderChunk(out, header), 0);
    BitFile::putBits(0xC3, 8, out);
    BitFile::close(out);
    const Bytes bytes = readFile(dir.path() / "f");
    ASSERT_EQ(bytes.size(), 321u);
    EXPECT_EQ(Bytes(bytes.begin() + 316, bytes.begin() + 320), test::bytesOf("DATA"));
    EXPECT_EQ(bytes[320], 0xC3);

    // An id of another length could not be read back: nothing is written.
    out = BitFile::open(dir.file("g").c_str(), "wb");
    EXPECT_EQ(FrameWriter::writeHeaderChunk(out, CChunkChunk("TWIN9701200")), 1);
    BitFile::close(out);
    EXPECT_TRUE(readFile(dir.path() / "g").empty());
}

TEST(FrameHeader, ReaderRefusesBrokenHeaders) {
    TempDir dir;
    fake::install(fake::Config{});
    const Bytes id = test::bytesOf("TWIN97012000");
    const Bytes body = test::bytesOf("COMM") + Bytes{0, 0, 0, 0};
    auto cat = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case refused[] = {
        {"wrong version id",
         cat({test::bytesOf("TWIN97019999"), {0, 0, 0, 8}, body, test::bytesOf("DATA")})},
        {"id cut short", test::bytesOf("TWIN9701")},
        {"length cut short", cat({id, {0, 0}})},
        {"negative length", cat({id, {0x80, 0, 0, 8}, body, test::bytesOf("DATA")})},
        {"length beyond the file", cat({id, {0, 0, 0x10, 0}, body, test::bytesOf("DATA")})},
        {"body cut short", cat({id, {0, 0, 0, 9}, body})},
        {"no DATA mark", cat({id, {0, 0, 0, 8}, body, test::bytesOf("DATX")})},
        {"DATA mark cut short", cat({id, {0, 0, 0, 8}, body, test::bytesOf("DAT")})},
    };
    for (const Case& c : refused) {
        writeFile(dir.path() / "f", c.file);
        UniqueBitFile in(BitFile::open(dir.file("f").c_str(), "rb"));
        EXPECT_EQ(FrameReader::readHeaderChunk(in.get()), nullptr) << c.what;
    }
    // The version id is refused before the length is read.
    writeFile(dir.path() / "f", refused[0].file);
    UniqueBitFile in(BitFile::open(dir.file("f").c_str(), "rb"));
    fake::calls() = {};
    EXPECT_EQ(FrameReader::readHeaderChunk(in.get()), nullptr);
    EXPECT_EQ(BitFile::tell(in.get()), 96);
    EXPECT_EQ(fake::calls().checkVersion, 1);

    writeFile(dir.path() / "f", cat({id, {0, 0, 0, 8}, body, test::bytesOf("DATA")}));
    UniqueBitFile good(BitFile::open(dir.file("f").c_str(), "rb"));
    EXPECT_NE(FrameReader::readHeaderChunk(good.get()), nullptr);
}

TEST(FrameHeader, PrepareDecodingChecksTheVersionId) {
    fake::install(numberedConfig());
    FrameReader reader;
    HeaderInfo info{};
    std::strcpy(info.id, "TWIN97019999");
    EXPECT_EQ(reader.prepareDecoding(info), 1);
    EXPECT_EQ(reader.conf().lspSplit, 0);
    std::strcpy(info.id, kTvqVersionId);
    EXPECT_EQ(reader.prepareDecoding(info), 0);
    EXPECT_EQ(reader.conf().lspSplit, 28);
}

}  // namespace
}  // namespace tembrel
