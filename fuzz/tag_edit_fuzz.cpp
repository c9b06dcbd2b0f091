// Tag editor: arbitrary bytes as a ".vqf" file, read and saved with edits chosen by the
// first two bytes. Whatever the file holds, the save either fails and leaves the file
// byte for byte as it was, or leaves a file whose header the project's header manager
// parses, holding the texts asked for, with the frame data unchanged; and the file save
// writes exactly what the bytes-to-bytes rewrite makes.
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_input_file.h"
#include "tagedit/header_rewrite.h"
#include "tagedit/header_walk.h"
#include "tagedit/tag_save.h"

namespace {

using namespace tembrel;
using namespace tembrel::tagedit;

const std::array<std::string, 6> kTypedTexts = {
    "",                                      // removes the chunk
    "new text",                              //
    "\xe6\x96\xb0\xe3\x81\x97\xe3\x81\x84",  // 新しい
    "\xe3\x81\x8b\xe3\x82\x99",              // か + combining mark: stored as が
    std::string(1023, 'x'),                  // the longest text
    "caf\xc3\xa9",                           // refused: CP932 lacks é
};

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    TextEdits edits;
    for (std::size_t i = 0; i < kTextCount; ++i) {
        if (data[0] & (1u << i))
            edits[i] = kTypedTexts[(data[1] + i) % kTypedTexts.size()];
    }
    const std::vector<uint8_t> file(data + 2, data + size);

    // Bytes to bytes.
    const std::optional<HeaderWalk> walk = walkHeader(file);
    std::optional<std::vector<uint8_t>> expected;
    if (walk) {
        StoredTexts texts = textsOfHeader(file, *walk).texts;
        std::string why;
        if (!applyEdits(edits, texts)) {
            if (const auto rewritten = rewriteHeaderBytes(file, texts, why)) {
                expected = rewritten->bytes;
                expected->insert(expected->end(), file.begin() + rewritten->frameDataOffset,
                                 file.end());
                const std::optional<HeaderWalk> after = walkHeader(*expected);
                if (!after || !holdsTexts(*expected, texts) ||
                    !std::equal(file.begin() + walk->frameDataOffset, file.end(),
                                expected->begin() + after->frameDataOffset, expected->end()))
                    __builtin_trap();
            }
        }
    }

    // The file save.
    const std::string& path = fuzz::writeInput(file.data(), file.size(), "-tag.vqf");
    const ReadResult read = readHeaderTexts(path);
    if (read.ok() != walk.has_value())
        __builtin_trap();
    const SaveResult saved = saveHeaderTexts(path, read.ok() ? &*read.texts : nullptr, edits);
    const std::vector<uint8_t> now = readAll(path);
    if (saved.ok() ? (!expected || now != *expected) : now != file)
        __builtin_trap();
    std::remove(path.c_str());
    return 0;
}
