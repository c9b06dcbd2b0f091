#include "twinvq/bit_file.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tembrel {

namespace {

// The handle table. A lock guards only the in-use flags, so that two threads opening
// files at the same moment cannot take the same slot.
BitFile gTable[BitFile::kMaxOpenFiles];
bool gInUse[BitFile::kMaxOpenFiles] = {};
std::mutex gTableMutex;

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

bool isOpenHandle(const BitFile* file, int32_t slot) {
    if (file == nullptr || slot < 0 || slot >= BitFile::kMaxOpenFiles)
        return false;
    std::lock_guard lock(gTableMutex);
    return gInUse[slot] && &gTable[slot] == file;
}

}  // namespace

BitFile* BitFile::open(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr)
        return nullptr;
    int slot = -1;
    {
        std::lock_guard lock(gTableMutex);
        for (int i = 0; i < kMaxOpenFiles; ++i) {
            if (!gInUse[i]) {
                slot = i;
                gInUse[i] = true;
                break;
            }
        }
    }
    if (slot < 0) {
        std::fputs("tealloc(): File number exceeds upper limit.\n", stderr);
        std::exit(1);
    }
    BitFile& file = gTable[slot];
    std::FILE* stream = std::fopen(path, mode);
    if (stream == nullptr) {
        std::lock_guard lock(gTableMutex);
        gInUse[slot] = false;
        return nullptr;
    }
    file.bitPos = 0;
    file.validBits = 0;
    file.loaded = 0;
    std::memset(file.block_, 0, sizeof file.block_);
    file.mode_ = mode;
    file.stream_ = stream;
    file.slot_ = slot;
    file.writeMode_ = std::strchr(mode, 'w') != nullptr;
    file.writeFailed_ = false;
    return &file;
}

int BitFile::close(BitFile* file) {
    if (file == nullptr || !isOpenHandle(file, file->slot_))
        return 1;
    if (file->writeMode_ && file->bitPos > 0)
        file->flushBlock((file->bitPos + 7) / 8);
    if (std::ferror(file->stream_))
        file->writeFailed_ = true;
    if (std::fclose(file->stream_) != 0 && file->writeMode_)
        file->writeFailed_ = true;
    const bool failed = file->writeFailed_;
    file->stream_ = nullptr;
    file->mode_ = nullptr;
    std::lock_guard lock(gTableMutex);
    gInUse[file->slot_] = false;
    file->slot_ = -1;
    return failed ? 1 : 0;
}

void BitFile::flushBlock(int bytes) {
    if (std::fwrite(block_, 1, size_t(bytes), stream_) != size_t(bytes))
        writeFailed_ = true;
    std::memset(block_, 0, sizeof block_);
}

void BitFile::putBit(int bit) {
    // The block is zero before use, so only set bits need storing.
    if (bit)
        block_[bitPos / 8] |= uint8_t(0x80 >> (bitPos % 8));
    if (++bitPos == kBlockBits) {
        flushBlock(kBlockBytes);
        bitPos = 0;
    }
}

int BitFile::getBit(int& bit) {
    if (loaded == 0) {
        validBits = int32_t(std::fread(block_, 1, kBlockBytes, stream_)) * 8;
        loaded = 1;
    }
    if (bitPos >= validBits)
        return 0;
    bit = (block_[bitPos / 8] >> (7 - bitPos % 8)) & 1;
    if (++bitPos == kBlockBits) {
        bitPos = 0;
        loaded = 0;
    }
    return 1;
}

int BitFile::putBits(int32_t value, int n, BitFile* file) {
    if (n < 0 || n > 32)
        return 1;
    const auto bits = uint32_t(value);
    const int doesNotFit = (value >= 0 && n < 32 && (bits >> n) != 0) ? 1 : 0;
    if (file == nullptr || !file->writeMode_)
        return doesNotFit;
    for (int i = n - 1; i >= 0; --i)
        file->putBit(int((bits >> i) & 1));
    return doesNotFit;
}

int BitFile::getBits(int32_t* value, int n, BitFile* file) {
    if (value == nullptr || n < 0 || n > 32)
        return 0;
    uint32_t result = 0;
    int count = 0;
    if (file != nullptr && !file->writeMode_) {
        for (int i = n - 1; i >= 0; --i) {
            int bit = 0;
            if (!file->getBit(bit))
                break;
            result |= uint32_t(bit) << i;
            ++count;
        }
    }
    *value = int32_t(result);
    return count;
}

void BitFile::putChars(const char* text, int n, BitFile* file) {
    if (text == nullptr || n <= 0)
        return;
    putChars(std::span(reinterpret_cast<const uint8_t*>(text), size_t(n)), file);
}

void BitFile::putChars(std::span<const uint8_t> bytes, BitFile* file) {
    for (uint8_t byte : bytes)
        putBits(byte, 8, file);
}

int BitFile::getChars(char* buffer, int n, BitFile* file) {
    if (buffer == nullptr)
        return 0;
    int count = 0;
    while (count < n) {
        int32_t value = 0;
        if (getBits(&value, 8, file) < 8)
            break;
        buffer[count++] = char(value);
    }
    buffer[count] = '\0';
    return count;
}

int BitFile::seek(BitFile* file, int64_t bitOffset, int origin) {
    if (file == nullptr || file->writeMode_)
        return 2;
    int64_t target = 0;
    switch (origin) {
        case kFromStart:
            target = bitOffset;
            break;
        case kFromEnd: {
            const int64_t size = fileSize(file);
            if (size < 0)
                return -1;
            target = size * 8 + bitOffset;
            break;
        }
        case kFromCurrent: {
            target = file->bitPos + bitOffset;
            if (target >= 0 && target < file->validBits) {
                file->bitPos = int32_t(target);
                return 0;
            }
            const int64_t k = floorDiv(target, kBlockBits);
            // The stream stands at the block's start when nothing is loaded, otherwise
            // just past the bytes that were read into the block.
            const int64_t move = k * kBlockBytes - (file->loaded ? file->validBits / 8 : 0);
            if (int rc = fseeko(file->stream_, off_t(move), SEEK_CUR); rc != 0)
                return rc;
            file->loaded = 0;
            file->validBits = 0;
            file->bitPos = int32_t(target - k * kBlockBits);
            return 0;
        }
        default:
            return 2;
    }
    if (target < 0)
        return 1;
    if (int rc = fseeko(file->stream_, off_t(target / kBlockBits * kBlockBytes), SEEK_SET); rc != 0)
        return rc;
    file->loaded = 0;
    file->validBits = 0;
    file->bitPos = int32_t(target % kBlockBits);
    return 0;
}

int64_t BitFile::tell(const BitFile* file) {
    if (file == nullptr || file->stream_ == nullptr)
        return -1;
    const int64_t pos = ftello(file->stream_);
    if (pos < 0)
        return -1;
    const int64_t blockStart =
        (!file->writeMode_ && file->loaded) ? pos - file->validBits / 8 : pos;
    return blockStart * 8 + file->bitPos;
}

int64_t BitFile::fileSize(const BitFile* file) {
    if (file == nullptr || file->stream_ == nullptr)
        return -1;
    struct stat info {};
    if (fstat(fileno(file->stream_), &info) != 0)
        return -1;
    return int64_t(info.st_size);
}

}  // namespace tembrel
