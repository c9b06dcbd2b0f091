// The kinds of source a file may be opened as, in the order the selector tries them.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "sources/audio_source.h"

namespace tembrel {

struct SourceKind {
    std::string_view name;       // shown to the user, e.g. "WAV"
    std::string_view extension;  // appended to the path when the caller asks for it
    std::unique_ptr<AudioSource> (*create)();
};

// Every kind, in the fixed order VQF, WAV, MP3, FLAC/Ogg.
std::span<const SourceKind> sourceKinds();

}  // namespace tembrel
