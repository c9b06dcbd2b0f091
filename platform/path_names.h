// The parts of a path's last element, with one rule everywhere: the extension is what
// follows the last "." of the last element (the element after the last "/"), the dot
// included, even when that dot begins the name. Extensions compare ASCII letters without
// case.
#pragma once

#include <string>
#include <string_view>

namespace tembrel {

inline constexpr std::string_view kVqfExtension = ".vqf";

// The last element: everything after the last "/"; the whole path when it has none.
std::string_view lastElementOf(std::string_view path);
// The last element without its extension.
std::string_view stemOf(std::string_view path);
// `path` with the extension of its last element replaced by `extension` (".vqf"), or
// with `extension` appended when it has none: "/a.b/song" gives "/a.b/song.vqf".
std::string replaceExtension(std::string_view path, std::string_view extension);
// True when the last element's extension is ".vqf" in any case.
bool hasVqfExtension(std::string_view path);
// Equal when ASCII letters are compared without case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tembrel
