#include "decode/vqf_decode.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "decode/vqf_description.h"
#include "decode/wav_writer.h"
#include "platform/path_names.h"
#include "platform/safe_replace.h"
#include "sources/vqf_source.h"
#include "vqfheader/text_chunks.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;

constexpr size_t kReadPiece = 64 * 1024;

}  // namespace

std::string defaultWavPath(const std::string& input) {
    return replaceExtension(input, ".wav");
}

VqfDecodeResult decodeVqfToWav(const std::string& input, const std::string& output, bool replace,
                               const std::atomic<bool>* cancel) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(output, error);
    if (fs::exists(status)) {
        if (fs::equivalent(input, output, error) || input == output)
            return {"the output would replace the input itself"};
        if (fs::is_directory(status))
            return {"the output " + output + " is a folder"};
        if (!replace)
            return {output + " exists (--force replaces it)"};
    }

    if (::access(input.c_str(), R_OK) != 0)
        return {std::strerror(errno)};
    // The texts come from the header; the samples from the decoder, started afterwards.
    const std::optional<VqfDescription> header = readVqfHeader(input);
    if (!header)
        return {"not a VQF file"};
    std::vector<RiffInfoText> info;
    for (const TextChunkId& text : kCreditTextChunks)
        info.push_back({std::string(text.riffInfoId), vqfText(*header, text.id)});

    VqfSource source;
    if (!source.open(input.c_str()))
        return {"the decoder does not accept this VQF file"};

    SafeReplace temporary = SafeReplace::create(output);
    if (!temporary.ok())
        return {"cannot create a file beside " + output + ": " + std::strerror(temporary.error())};
    WavWriter writer;
    if (!writer.open(temporary.path(), *source.format(), info))
        return {"cannot write " + temporary.path() + ": " + std::strerror(errno)};
    std::vector<uint8_t> buffer(kReadPiece);
    while (true) {
        if (cancel != nullptr && cancel->load()) {
            VqfDecodeResult cancelled{"cancelled"};
            cancelled.cancelled = true;
            return cancelled;
        }
        uint32_t got = 0;
        if (!source.read(buffer, got))
            return {"cannot decode " + input};
        if (got == 0)
            break;
        if (!writer.write(std::span(buffer).first(got))) {
            return {writer.tooLong()
                        ? "the decoded audio is too long for a WAV file"
                        : "cannot write " + temporary.path() + ": " + std::strerror(errno)};
        }
    }
    const uint64_t pcmBytes = writer.dataBytes();
    if (!writer.finish())
        return {"cannot write " + temporary.path() + ": " + std::strerror(errno)};
    source.close();

    // Replacing goes through an atomic rename; otherwise a file that appeared meanwhile
    // is left alone.
    if (replace ? !temporary.commit() : !temporary.commitNoReplace()) {
        return {temporary.error() == EEXIST ? output + " exists (--force replaces it)"
                                            : "cannot put the output in place: " +
                                                  std::string(std::strerror(temporary.error()))};
    }
    return {{}, pcmBytes};
}

}  // namespace tembrel
