#include "decode/vqf_decode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "decode/vqf_description.h"
#include "decode/wav_writer.h"
#include "platform/file_ops.h"
#include "platform/path_names.h"
#include "sources/vqf_source.h"
#include "vqfheader/text_chunks.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;

constexpr size_t kReadPiece = 64 * 1024;

// Creates an empty temporary file beside `output` (hidden, with a unique name) with the
// permissions a new file gets; its path, or empty with errno set.
std::string createTemporary(const std::string& output) {
    const fs::path target(output);
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Appended piece by piece: GCC 12 at -O3 warns falsely about "." + string.
        std::string name = ".";
        name += target.filename().string();
        name += ".part-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        const std::string path = (folder / name).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// Removes the temporary file unless it was renamed into place.
struct TemporaryFile {
    std::string path;
    ~TemporaryFile() {
        if (!path.empty())
            std::remove(path.c_str());
    }
};

}  // namespace

std::string defaultWavPath(const std::string& input) {
    return replaceExtension(input, ".wav");
}

VqfDecodeResult decodeVqfToWav(const std::string& input, const std::string& output, bool replace) {
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

    TemporaryFile temporary{createTemporary(output)};
    if (temporary.path.empty())
        return {"cannot create a file beside " + output + ": " + std::strerror(errno)};
    WavWriter writer;
    if (!writer.open(temporary.path, *source.format(), info))
        return {"cannot write " + temporary.path + ": " + std::strerror(errno)};
    std::vector<uint8_t> buffer(kReadPiece);
    while (true) {
        uint32_t got = 0;
        if (!source.read(buffer, got))
            return {"cannot decode " + input};
        if (got == 0)
            break;
        if (!writer.write(std::span(buffer).first(got))) {
            return {writer.tooLong()
                        ? "the decoded audio is too long for a WAV file"
                        : "cannot write " + temporary.path + ": " + std::strerror(errno)};
        }
    }
    const uint64_t pcmBytes = writer.dataBytes();
    if (!writer.finish())
        return {"cannot write " + temporary.path + ": " + std::strerror(errno)};
    source.close();

    // Replacing goes through an atomic rename; otherwise a file that appeared meanwhile
    // is left alone.
    if (replace) {
        if (std::rename(temporary.path.c_str(), output.c_str()) != 0)
            return {"cannot rename the output into place: " + std::string(std::strerror(errno))};
    } else if (!renameNoReplace(temporary.path, output)) {
        return {fs::exists(output, error)
                    ? output + " exists (--force replaces it)"
                    : "cannot rename the output into place: " + std::string(std::strerror(errno))};
    }
    temporary.path.clear();
    return {{}, pcmBytes};
}

}  // namespace tembrel
