#include "decode/vqf_description.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/text_encoding.h"
#include "sources/vqf_source.h"
#include "tvq/tvq_records.h"
#include "twinvq/bit_file.h"
#include "twinvq/frame_reader.h"
#include "vqfheader/header_manager.h"
#include "vqfheader/header_reader.h"
#include "vqfheader/header_writer.h"
#include "vqfheader/text_chunks.h"

namespace tembrel {
namespace {

bool hasControlBytes(const std::vector<uint8_t>& data) {
    return std::any_of(data.begin(), data.end(), [](uint8_t b) { return b < 0x20; });
}

std::string shown(std::string_view cp932) {
    std::string text = text::cp932ToUtf8(cp932);
    // One line per field: line breaks and other control characters become spaces.
    for (char& c : text) {
        if (uint8_t(c) < 0x20)
            c = ' ';
    }
    return text;
}

}  // namespace

std::optional<VqfDescription> readVqfHeader(const std::string& path) {
    const UniqueBitFile file(BitFile::open(path.c_str(), "rb"));
    if (!file)
        return std::nullopt;
    const std::unique_ptr<CChunkChunk> top = FrameReader::readHeaderChunk(file.get());
    if (!top)
        return std::nullopt;
    const std::unique_ptr<CHeaderManager> manager = CreateHeaderManager(*top);
    if (!manager)
        return std::nullopt;

    VqfDescription d;
    HeaderInfo info{};
    d.hasComm = ReadHeaderInfo(*manager, info) == 0;
    d.versionId = std::string(fieldText(info.id));
    d.channelMode = info.channelMode;
    d.bitRate = info.bitRate;
    d.samplingRate = info.samplingRate;
    d.securityLevel = info.securityLevel;
    for (const auto& [id, chunk] : manager->chunks()) {
        if (id == "COMM")
            continue;  // shown as its four values
        const auto& data = chunk.data();
        // Track and year are text when the header writer made them, binary when imported.
        const bool isText =
            findTextChunk(kUserTextChunks, id) ||
            ((id == kTrackChunk.id || id == kYearChunk.id) && !hasControlBytes(data));
        if (isText) {
            std::string text(data.begin(), data.end());
            text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
            d.texts.push_back({id, std::move(text)});
        } else {
            d.otherIds.push_back(id);
        }
    }
    for (const auto& [id, chunk] : manager->scndChunks())
        d.scndIds.push_back(id);
    return d;
}

std::optional<VqfDescription> describeVqf(const std::string& path) {
    std::optional<VqfDescription> d = readVqfHeader(path);
    if (!d)
        return d;
    VqfSource source;
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && source.open(path.c_str())) {
        d->frameBits = source.frameBits();
        const int64_t bits = int64_t(size) * 8 - int64_t(source.firstFramePos());
        d->frameCount = std::max<int64_t>(bits, 0) / d->frameBits;
    }
    return d;
}

std::string vqfText(const VqfDescription& description, std::string_view id) {
    for (const VqfTextChunk& t : description.texts) {
        if (t.id == id)
            return t.text;
    }
    return {};
}

void printVqfDescription(const VqfDescription& d, std::ostream& out) {
    out << "  version id: " << shown(d.versionId) << '\n';
    if (d.hasComm) {
        out << "  channel mode: " << d.channelMode << '\n'
            << "  bit rate: " << d.bitRate << " kbit/s\n"
            << "  sampling rate: " << d.samplingRate << " kHz\n"
            << "  security level: " << d.securityLevel << '\n';
    } else {
        out << "  COMM: missing\n";
    }
    for (const VqfTextChunk& t : d.texts)
        out << "  \"" << t.id << "\": " << shown(t.text) << '\n';
    auto list = [&out](const char* label, const std::vector<std::string>& ids) {
        if (ids.empty())
            return;
        out << "  " << label << ':';
        for (const std::string& id : ids)
            out << " \"" << shown(id) << '"';
        out << '\n';
    };
    list("other chunks", d.otherIds);
    list("SCND chunks", d.scndIds);
    if (d.frameBits > 0) {
        out << "  frame length: " << d.frameBits << " bits\n"
            << "  frames: " << d.frameCount << '\n';
    } else {
        out << "  frame length: unknown (the decoder did not accept the header)\n";
    }
}

}  // namespace tembrel
