// Song tags: ID3v1, ID3v2 of every version and RIFF INFO from a file of arbitrary bytes.
#include <cstring>

#include "fuzz/fuzz_input_file.h"
#include "tags/song_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = tembrel::fuzz::writeInput(data, size, ".mp3");
    tembrel::SongTags tags;
    tags.read(path);
    // Every text field must stay terminated inside its array.
    for (const char* field :
         {tags.title, tags.artist, tags.album, tags.comment, tags.copyright, tags.genre,
          tags.software, tags.url, tags.sourceArtist, tags.composer})
        if (std::memchr(field, 0, 256) == nullptr)
            __builtin_trap();
    if (std::memchr(tags.year, 0, sizeof tags.year) == nullptr)
        __builtin_trap();
    if (tags.dataOffset < 0 || tags.dataLength < 0)
        __builtin_trap();
    return 0;
}
