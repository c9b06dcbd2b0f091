#include "decode/wav_writer.h"

#include <limits>

#include "platform/byte_order.h"

namespace tembrel {
namespace {

// Largest RIFF body a 32-bit size field can describe.
constexpr uint64_t kMaxRiffSize = std::numeric_limits<uint32_t>::max();

void appendId(std::vector<uint8_t>& out, std::string_view id) {
    for (size_t i = 0; i < 4; ++i)
        out.push_back(i < id.size() ? uint8_t(id[i]) : uint8_t(' '));
}

}  // namespace

std::vector<uint8_t> riffInfoChunk(std::span<const RiffInfoText> info) {
    std::vector<uint8_t> body;
    appendId(body, "INFO");
    for (const RiffInfoText& field : info) {
        if (field.text.empty())
            continue;
        appendId(body, field.id);
        const uint32_t size = uint32_t(field.text.size() + 1);
        bytes::appendLE(body, size, 4);
        body.insert(body.end(), field.text.begin(), field.text.end());
        body.push_back(0);
        if (size % 2 != 0)
            body.push_back(0);
    }
    if (body.size() == 4)
        return {};
    std::vector<uint8_t> chunk;
    appendId(chunk, "LIST");
    bytes::appendLE(chunk, uint32_t(body.size()), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

bool WavWriter::open(const std::string& path, const WAVEFORMATEX& format,
                     std::span<const RiffInfoText> info) {
    file_.reset(std::fopen(path.c_str(), "wb"));
    dataBytes_ = 0;
    failed_ = false;
    tooLong_ = false;
    if (!file_)
        return false;

    std::vector<uint8_t> head;
    appendId(head, "RIFF");
    bytes::appendLE(head, 0, 4);  // fixed up by finish()
    appendId(head, "WAVE");
    appendId(head, "fmt ");
    bytes::appendLE(head, 16, 4);
    bytes::appendLE(head, format.wFormatTag, 2);
    bytes::appendLE(head, format.nChannels, 2);
    bytes::appendLE(head, format.nSamplesPerSec, 4);
    bytes::appendLE(head, format.nAvgBytesPerSec, 4);
    bytes::appendLE(head, format.nBlockAlign, 2);
    bytes::appendLE(head, format.wBitsPerSample, 2);
    const std::vector<uint8_t> list = riffInfoChunk(info);
    head.insert(head.end(), list.begin(), list.end());
    appendId(head, "data");
    dataSizeOffset_ = head.size();
    bytes::appendLE(head, 0, 4);  // fixed up by finish()
    if (std::fwrite(head.data(), 1, head.size(), file_.get()) != head.size()) {
        failed_ = true;
        return false;
    }
    return true;
}

bool WavWriter::write(std::span<const uint8_t> pcm) {
    if (!file_ || failed_)
        return false;
    if (dataSizeOffset_ + 4 + dataBytes_ + pcm.size() + 1 > kMaxRiffSize + 8) {
        failed_ = true;
        tooLong_ = true;
        return false;
    }
    if (!pcm.empty() && std::fwrite(pcm.data(), 1, pcm.size(), file_.get()) != pcm.size()) {
        failed_ = true;
        return false;
    }
    dataBytes_ += pcm.size();
    return true;
}

bool WavWriter::finish() {
    if (!file_)
        return false;
    bool ok = !failed_;
    std::FILE* f = file_.get();
    if (ok && dataBytes_ % 2 != 0)
        ok = std::fputc(0, f) != EOF;
    if (ok) {
        // The RIFF body: everything after its 8-byte header, the pad byte included.
        const uint64_t riffSize = dataSizeOffset_ + 4 + dataBytes_ + dataBytes_ % 2 - 8;
        uint8_t size[4];
        bytes::storeLE(size, uint32_t(riffSize), 4);
        ok = std::fseek(f, 4, SEEK_SET) == 0 && std::fwrite(size, 1, 4, f) == 4;
        bytes::storeLE(size, uint32_t(dataBytes_), 4);
        ok = ok && std::fseek(f, long(dataSizeOffset_), SEEK_SET) == 0 &&
             std::fwrite(size, 1, 4, f) == 4;
    }
    ok = std::fclose(file_.release()) == 0 && ok;
    return ok;
}

}  // namespace tembrel
