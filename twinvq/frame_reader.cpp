#include "twinvq/frame_reader.h"

#include <cstring>
#include <vector>

#include "tvq/tvqdec.h"
#include "twinvq/frame_layout.h"

namespace tembrel {

namespace {
constexpr int kVersionIdLength = 12;
}

std::unique_ptr<CChunkChunk> FrameReader::readHeaderChunk(BitFile* file) {
    char id[kVersionIdLength + 1];
    if (BitFile::getChars(id, kVersionIdLength, file) != kVersionIdLength)
        return nullptr;
    if (TvqCheckVersion(id) == -1)
        return nullptr;

    int32_t length = 0;
    if (BitFile::getBits(&length, 32, file) != 32)
        return nullptr;
    // Refuse a length that cannot be right before allocating anything for it.
    const int64_t position = BitFile::tell(file);
    const int64_t size = BitFile::fileSize(file);
    if (length < 0 || position < 0 || size < 0 || int64_t(length) * 8 > size * 8 - position)
        return nullptr;

    std::vector<char> buffer(size_t(length) + 1);
    if (BitFile::getChars(buffer.data(), length, file) != length)
        return nullptr;
    auto header = std::make_unique<CChunkChunk>(
        std::string(id, kVersionIdLength), std::vector<uint8_t>(buffer.begin(), buffer.end() - 1));

    char mark[5];
    if (BitFile::getChars(mark, 4, file) != 4 || std::memcmp(mark, "DATA", 4) != 0)
        return nullptr;
    return header;
}

int FrameReader::prepareDecoding(const HeaderInfo& info) {
    char id[kTvqIdSize + 1] = {};
    std::memcpy(id, info.id, kTvqIdSize);  // a terminator even if the record lacks one
    if (TvqCheckVersion(id) == -1)
        return 1;
    TvqGetConfInfo(&conf_);
    TvqGetVectorInfo(vectors_.shape0Bits, vectors_.shape1Bits);
    return 0;
}

bool FrameReader::readFrame(FrameIndex& index, BitFile* file) {
    const int fixedBits = TvqGetNumFixedBitsPerFrame();
    int64_t total = BitFile::getBits(&index.windowType, conf_.windowTypeBits, file);
    int blockType = 0;
    if (TvqWtypeToBtype(index.windowType, &blockType) != 0)
        return false;
    index.blockType = blockType;
    if (blockType == 2) {
        TvqUpdateVectorInfo(0, &conf_.blocks[2].shapeVectorCount, vectors_.shape0Bits[2],
                            vectors_.shape1Bits[2]);
    }
    if (!frameLayoutUsable(conf_, vectors_, index, blockType))
        return false;
    walkFrameFields(conf_, vectors_, index,
                    [file, &total](int32_t& value, int width, const FieldPlace&) {
                        total += BitFile::getBits(&value, width, file);
                    });
    return total == fixedBits;
}

int FrameReader::skipFrames(BitFile* file, int n) {
    return BitFile::seek(file, int64_t(n) * TvqGetNumFixedBitsPerFrame(), BitFile::kFromCurrent);
}

}  // namespace tembrel
