#include "twinvq/frame_writer.h"

#include <cstdio>
#include <limits>

#include "tvq/tvqenc.h"
#include "twinvq/frame_layout.h"

namespace tembrel {

namespace {

constexpr size_t kVersionIdLength = 12;

void reportOverflow(const FieldPlace& p, int width, int32_t value) {
    switch (p.field) {
        case FrameField::Shape0:
            std::printf("shape0 %d, %d %d\n", p.index, width, value);
            break;
        case FrameField::Shape1:
            std::printf("shape1 %d, %d %d\n", p.index, width, value);
            break;
        case FrameField::Envelope:
            std::printf("forward short %d, %d, %d, %d\n", p.ch, p.sb, p.k, value);
            break;
        case FrameField::ArSwitch:
            std::printf("forward AR param. ch: %d, sh_no: %d, ind: %d\n", p.ch, p.sb, value);
            break;
        case FrameField::MainPower:
            std::printf("power  %d %d\n", width, value);
            break;
        case FrameField::SubPower:
            std::printf("power %d, %d %d\n", p.index, width, value);
            break;
        case FrameField::Lsp0:
            std::printf("lsp0 %d %d\n", width, value);
            break;
        case FrameField::Lsp1:
            std::printf("lsp1 %d %d\n", width, value);
            break;
        case FrameField::Lsp2:
            std::printf("lsp2 %d, %d %d\n", p.index, width, value);
            break;
        case FrameField::PitchShape0:
            std::printf("codebook0_pit %d, %d %d\n", p.index, width, value);
            break;
        case FrameField::PitchShape1:
            std::printf("codebook1_pit %d, %d %d\n", p.index, width, value);
            break;
        case FrameField::Pitch:
            std::printf("index_pitch %d %d\n", width, value);
            break;
        case FrameField::PitchGain:
            std::printf("index_pgain %d %d\n", width, value);
            break;
        case FrameField::Pb:
            // This line has always come without a line end; kept for output parity.
            std::printf("index_pb %d %d", width, value);
            break;
    }
}

}  // namespace

int FrameWriter::writeHeaderChunk(BitFile* file, const CChunk& header) {
    if (file == nullptr || header.id().size() != kVersionIdLength ||
        header.data().size() > size_t(std::numeric_limits<int32_t>::max()))
        return 1;
    BitFile::putChars(header.id().data(), int(kVersionIdLength), file);
    BitFile::putBits(int32_t(header.data().size()), 32, file);
    BitFile::putChars(header.data(), file);
    BitFile::putChars("DATA", 4, file);
    return 0;
}

void FrameWriter::writeFrame(FrameIndex& index, BitFile* file) {
    BitFile::putBits(index.windowType, conf_.windowTypeBits, file);
    if (index.blockType == 2) {
        TvqEncUpdateVectorInfo(0, &conf_.blocks[2].shapeVectorCount, vectors_.shape0Bits[2],
                               vectors_.shape1Bits[2]);
    }
    if (!frameLayoutUsable(conf_, vectors_, index, index.blockType))
        return;
    walkFrameFields(conf_, vectors_, index,
                    [file](int32_t& value, int width, const FieldPlace& place) {
                        if (BitFile::putBits(value, width, file) == 1)
                            reportOverflow(place, width, value);
                    });
}

}  // namespace tembrel
