#include "sources/source_kinds.h"

#include <array>

#include "sources/mp3_source.h"
#include "sources/sound_file_source.h"
#include "sources/vqf_source.h"
#include "sources/wav_source.h"

namespace tembrel {
namespace {

template <class Source>
std::unique_ptr<AudioSource> make() {
    return std::make_unique<Source>();
}

// The one list of kinds. Order matters: a RIFF WAVE file is taken as WAV before the
// MPEG kind can look at it, and VQF content is recognised first whatever the name. FLAC
// and Ogg come last: they begin with signatures no other kind takes.
const SourceKind kKinds[] = {
    {"VQF", ".vqf", make<VqfSource>},
    {"WAV", ".wav", make<WavSource>},
    {"MP3", ".mp3", make<Mp3Source>},
    {"FLAC/Ogg", ".flac", make<SoundFileSource>},
};

}  // namespace

std::span<const SourceKind> sourceKinds() {
    return kKinds;
}

}  // namespace tembrel
