// FLAC and Ogg source: libsndfile decodes, our source around it packs the samples, plans
// their conversion and reads the Vorbis comments, from a file of arbitrary bytes.
#include <cstring>

#include "fuzz/fuzz_input_file.h"
#include "fuzz/fuzz_source.h"
#include "sources/conversion_plan.h"
#include "sources/sound_file_source.h"
#include "tags/vorbis_comments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = tembrel::fuzz::writeInput(data, size, ".flac");
    tembrel::SoundFileSource source;
    if (source.open(path.c_str())) {
        const tembrel::WAVEFORMATEX& format = *source.format();
        if (source.length() <= 0 || format.nBlockAlign == 0 ||
            source.length() % format.nBlockAlign != 0)
            __builtin_trap();
        tembrel::planConversion(format, source.decodesToFloat());
        const uint64_t total = tembrel::fuzz::exerciseSource(source, 700);
        if (total % format.nBlockAlign != 0)
            __builtin_trap();
    } else if (!source.refusal().empty() && source.format() == nullptr) {
        __builtin_trap();
    }
    source.close();
    auto tags = std::make_unique<tembrel::SongTags>();
    tags->clear();
    tembrel::readVorbisComments(path, *tags);
    for (std::span<char> field : tags->textFields())
        if (std::memchr(field.data(), 0, field.size()) == nullptr)
            __builtin_trap();
    return 0;
}
