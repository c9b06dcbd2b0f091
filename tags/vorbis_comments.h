// Song information of FLAC and Ogg (Vorbis, Opus) files: their Vorbis comments, UTF-8
// texts that go into the record as CP932, as ID3v2 texts do.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tags/song_tags.h"

namespace tembrel {

// The comments the record takes, by the field they fill.
enum class VorbisField { Title, Artist, Album, Date, Comment, TrackNumber, Genre, Copyright };

struct VorbisText {
    VorbisField field;
    std::string_view utf8;
};

// Fills the fields of the texts given, in order (a later text of a field wins). What
// CP932 lacks becomes "?" and marks the field lossy; a date gives its year ("2003-04-05"
// gives "2003"); a track number is the text's leading number ("3/12" gives 3).
void applyVorbisComments(SongTags& tags, std::span<const VorbisText> texts);

// True when `path` is a FLAC or Ogg file; its comments then fill the record's fields.
bool readVorbisComments(const std::string& path, SongTags& tags);

}  // namespace tembrel
