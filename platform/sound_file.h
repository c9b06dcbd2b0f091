// Opens FLAC and Ogg (Vorbis, Opus) files through libsndfile. Every other container the
// library reads (WAV, AIFF, MPEG, ...) is refused here: those are our own readers' files,
// or kinds that do not convert.
#pragma once

#include <sndfile.h>

#include <memory>
#include <optional>
#include <string>

namespace tembrel {

struct SoundFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

struct OpenSoundFile {
    SoundFile file;
    SF_INFO info{};
    bool isFlac() const { return (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC; }
};

// Nothing when `path` is no regular file, does not begin like a FLAC or Ogg file (an
// ID3v2 tag may stand before FLAC), or is not one once libsndfile has opened it.
std::optional<OpenSoundFile> openFlacOrOgg(const std::string& path);

}  // namespace tembrel
