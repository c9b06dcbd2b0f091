// The tag editor's rewrite of a VQF header, from bytes to bytes with no I/O: every text
// chunk of the six ids leaves (duplicates too), and the given texts follow the first
// "COMM" in the order NAME, COMT, AUTH, "(c) ", FILE, EXTR. The head keeps its version
// id and gets the new body size; every other chunk keeps its place and bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tagedit/text_fields.h"

namespace tembrel::tagedit {

struct RewrittenHeader {
    // The new head, body and "DATA".
    std::vector<uint8_t> bytes;
    // Where the frame data begins in the source: the new file is `bytes` followed by the
    // source from here on.
    std::size_t frameDataOffset = 0;
};

// `source` is the start of the file, at least up to its "DATA". Nothing, with `why` set,
// when its header does not walk cleanly, has no "COMM", would outgrow the 32-bit size,
// or would not read back as holdsTexts() requires.
std::optional<RewrittenHeader> rewriteHeaderBytes(std::span<const uint8_t> source,
                                                  const StoredTexts& texts, std::string& why);

// `header` (the start of a file, at least up to its "DATA") walks cleanly, the project's
// header manager parses it, and both find exactly `texts` under the six ids.
bool holdsTexts(std::span<const uint8_t> header, const StoredTexts& texts);

}  // namespace tembrel::tagedit
