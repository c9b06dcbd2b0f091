#include "vqfheader/chunk_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "vqfheader/text_chunks.h"
#include "vqfheader/value_chunks.h"

namespace tembrel {

namespace {

// Reads up to `N` decimal integers the way a "%d %d ..." scan does: blanks before each
// number are skipped, a sign is optional, and the first thing that is not a number
// ends the scan. Numbers not reached stay 0; each keeps its low 32 bits.
template <size_t N>
std::array<int32_t, N> scanIntegers(std::FILE* file) {
    std::array<int32_t, N> numbers{};
    for (size_t i = 0; i < N; ++i) {
        int c = std::fgetc(file);
        while (c != EOF && std::isspace(c))
            c = std::fgetc(file);
        bool negative = false;
        if (c == '+' || c == '-') {
            negative = c == '-';
            c = std::fgetc(file);
        }
        if (c == EOF || !std::isdigit(c))
            break;
        uint32_t value = 0;
        while (c != EOF && std::isdigit(c)) {
            value = value * 10 + uint32_t(c - '0');
            c = std::fgetc(file);
        }
        if (c != EOF)
            std::ungetc(c, file);
        numbers[i] = int32_t(negative ? 0u - value : value);
    }
    return numbers;
}

bool isRegularFile(const struct stat& info) {
    return S_ISREG(info.st_mode);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int ImportIntegerChunk(std::FILE* file, const std::string& id, CChunkChunk& target) {
    const auto [number] = scanIntegers<1>(file);
    target.PutChunk(CIntegerChunk<2>(id, int16_t(number)));
    return 0;
}

int ImportYearChunk(std::FILE* file, const std::string& id, CChunkChunk& target) {
    const auto n = scanIntegers<2>(file);
    target.PutChunk(CYearChunk(id, int16_t(n[0]), int8_t(n[1])));
    return 0;
}

int ImportEncdChunk(std::FILE* file, const std::string& id, CChunkChunk& target) {
    const auto n = scanIntegers<6>(file);
    target.PutChunk(CEncdChunk(id, int16_t(n[0]), int8_t(n[1]), int8_t(n[2]), int8_t(n[3]),
                               int8_t(n[4]), int8_t(n[5])));
    return 0;
}

int ImportRawChunk(std::FILE* file, const std::string& id, CChunkChunk& target) {
    std::vector<uint8_t> bytes;
    uint8_t buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
        // A chunk size is a 32-bit field that readers take as signed.
        if (bytes.size() > size_t(std::numeric_limits<int32_t>::max()))
            return 0;
    }
    // A file that cannot be read whole is skipped like a missing one.
    if (std::ferror(file))
        return 0;
    CChunk chunk(id, std::move(bytes));
    target.PutChunk(chunk);
    return 0;
}

namespace {

// `first`, then a row for each text the import folder takes as it stands.
template <size_t N>
constexpr auto withImportedTexts(const std::array<ChunkImportRow, N>& first) {
    std::array<ChunkImportRow, N + kImportedTextIds.size()> rows{};
    std::copy(first.begin(), first.end(), rows.begin());
    for (size_t i = 0; i < kImportedTextIds.size(); ++i)
        rows[N + i] = {kImportedTextIds[i], ImportRawChunk};
    return rows;
}

constexpr std::array<ChunkImportRow, kCreditTextChunks.size()> creditTextRows() {
    std::array<ChunkImportRow, kCreditTextChunks.size()> rows{};
    for (size_t i = 0; i < kCreditTextChunks.size(); ++i)
        rows[i] = {kCreditTextChunks[i].id, ImportRawChunk};
    return rows;
}

}  // namespace

const std::array<ChunkImportRow, 18> kTopLevelImports = withImportedTexts<5>({{
    {kTrackChunk.id, ImportIntegerChunk},
    {kYearChunk.id, ImportYearChunk},
    {kEncodingDateId, ImportEncdChunk},
    {kGuidId, ImportRawChunk},
    {kIsrcId, ImportRawChunk},
}});

const std::array<ChunkImportRow, 17> kScndImports = withImportedTexts(creditTextRows());

int ImportChunkFiles(std::span<const ChunkImportRow> table, CChunkChunk& target, int place,
                     const std::string& folder) {
    if (place != kImportTopLevel && place != kImportScnd)
        return 1;
    // An empty folder name would turn the paths into names under the root directory.
    if (folder.empty())
        return 0;
    const char* separator = place == kImportTopLevel ? "/" : "/SCND/";
    for (const ChunkImportRow& row : table) {
        const std::string id(row.id);
        const std::string path = folder + separator + id;
        // Only regular files: a directory cannot be read, and opening a pipe or a
        // device could block or never end.
        struct stat info {};
        if (stat(path.c_str(), &info) != 0 || !isRegularFile(info))
            continue;
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
        if (!file)
            continue;
        if (fstat(fileno(file.get()), &info) != 0 || !isRegularFile(info))
            continue;
        row.importer(file.get(), id, target);
    }
    return 0;
}

}  // namespace tembrel
