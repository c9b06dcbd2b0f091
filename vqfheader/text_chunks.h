// The chunk ids of a VQF header that hold song information, and what each means. Ids are
// four bytes compared byte for byte ("(c) " ends in a space). Everything that writes,
// shows, edits or carries these texts elsewhere reads them from here.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "tvq/tvq_records.h"

namespace tembrel {

struct TextChunkId {
    std::string_view id;
    // What a user calls it; also the name of its option where a user sets it ("--title").
    std::string_view name;
    // Where the setup record keeps it.
    char (HeaderInfo::*field)[kTvqTextSize];
    // The RIFF "INFO" field a decoded WAV file carries it in; empty when it has none.
    std::string_view riffInfoId;
};

inline constexpr TextChunkId kTitleChunk{"NAME", "title", &HeaderInfo::name, "INAM"};
inline constexpr TextChunkId kCommentChunk{"COMT", "comment", &HeaderInfo::comment, "ICMT"};
inline constexpr TextChunkId kAuthorChunk{"AUTH", "author", &HeaderInfo::author, "IART"};
inline constexpr TextChunkId kCopyrightChunk{"(c) ", "copyright", &HeaderInfo::copyright, "ICOP"};
inline constexpr TextChunkId kFileChunk{"FILE", "file", &HeaderInfo::file, ""};
inline constexpr TextChunkId kExtraChunk{"EXTR", "extra", &HeaderInfo::extra, ""};
// Text when the header writer made them from the setup record, binary numbers when the
// import folder made them.
inline constexpr TextChunkId kTrackChunk{"TRAC", "track", &HeaderInfo::track, ""};
inline constexpr TextChunkId kYearChunk{"YEAR", "year", &HeaderInfo::year, ""};

// The six texts a user edits, in the order a rewritten header holds them.
inline constexpr std::array kUserTextChunks{kTitleChunk,     kCommentChunk, kAuthorChunk,
                                            kCopyrightChunk, kFileChunk,    kExtraChunk};
// The texts the header writer makes from the setup record, in the order it writes them;
// the extra text is not among them.
inline constexpr std::array kSetupTextChunks{
    kTitleChunk, kCommentChunk, kAuthorChunk, kCopyrightChunk, kFileChunk, kTrackChunk, kYearChunk};
// The texts the import folder's "SCND" subfolder and a decoded WAV file's RIFF "INFO"
// take, in the order both list them.
inline constexpr std::array kCreditTextChunks{kTitleChunk, kAuthorChunk, kCommentChunk,
                                              kCopyrightChunk};

// Chunks only the import folder makes.
inline constexpr std::string_view kEncodingDateId = "ENCD";  // year, month, day, hour, ...
inline constexpr std::string_view kGuidId = "GUID";
inline constexpr std::string_view kIsrcId = "ISRC";  // recording code
// Texts the import folder takes as they stand, at the top level and in "SCND" alike.
inline constexpr std::array<std::string_view, 13> kImportedTextIds{
    "ALBM",  // album
    "LYRC",  // lyrics
    "WORD",  // lyricist
    "MUSC",  // composer
    "ARNG",  // arranger
    "PROD",  // producer
    "REMX",  // remixer
    "CDCT",  // conductor
    "SING",  // singer
    "LABL",  // label
    "NOTE",  // note
    "PRSN",  // personnel
    "BAND",  // band
};

// The row of `table` with `id`; nullptr when there is none.
const TextChunkId* findTextChunk(std::span<const TextChunkId> table, std::string_view id);

}  // namespace tembrel
