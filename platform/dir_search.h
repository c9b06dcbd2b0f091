// Directory search standing in for find-first/find-next, and the exact lookup of a
// path the user gave.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tembrel {

struct DirEntry {
    std::string name;
    // A real directory. A symbolic link is never reported as one, so that a walk
    // descending into directories cannot follow a link cycle forever.
    bool isDirectory = false;
    bool isSymlink = false;
    bool readOnly = false;
    bool hidden = false;
};

// Matches `name` against a pattern of `*` (any run of characters) and `?` (one
// character), comparing ASCII letters case-insensitively. A trailing ".*" also
// matches names without an extension, so "*.*" matches every name.
bool matchesPattern(std::string_view pattern, std::string_view name);

// Orders names case-insensitively (ASCII) byte by byte, ties broken by plain byte order.
bool nameLess(std::string_view a, std::string_view b);

// The entries of `directory` whose names match `pattern`, sorted with nameLess so that
// every run visits them in the same order. "." and ".." are never returned; other names
// beginning with "." are. An unreadable or missing directory gives no entries.
std::vector<DirEntry> findEntries(const std::string& directory, std::string_view pattern);

struct PathLookup {
    bool exists = false;
    bool isDirectory = false;  // symbolic links followed
    std::string path;          // the given path without trailing "/" (except "/" itself)
};

// Looks up one path exactly as given: case-sensitive, "*" and "?" are ordinary
// characters. Trailing "/" characters are dropped first, except for the root "/".
PathLookup lookupPath(std::string_view path);

}  // namespace tembrel
