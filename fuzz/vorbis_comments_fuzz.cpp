// Vorbis comment mapping: texts of any bytes (not only UTF-8, cut anywhere) for every
// field. Each line of the input is one comment, its first byte choosing the field.
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "tags/vorbis_comments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<tembrel::VorbisText> texts;
    for (std::size_t at = 0; at < input.size();) {
        std::size_t end = input.find('\n', at);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view line = input.substr(at, end - at);
        if (!line.empty())
            texts.push_back({tembrel::VorbisField(uint8_t(line[0]) % 8), line.substr(1)});
        at = end + 1;
    }
    auto tags = std::make_unique<tembrel::SongTags>();
    tags->clear();
    tembrel::applyVorbisComments(*tags, texts);
    for (std::span<char> field : tags->textFields())
        if (std::memchr(field.data(), 0, field.size()) == nullptr)
            __builtin_trap();
    // Only the fields that were given text may be marked lossy.
    if (texts.empty() && tags->lossyTexts != 0)
        __builtin_trap();
    return 0;
}
