#include "platform/dir_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "platform/file_attributes.h"

namespace tembrel {
namespace {

unsigned char foldAscii(char c) {
    auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

// Iterative wildcard match with single-star backtracking: linear in practice and never
// recursing, whatever the pattern.
bool wildcardMatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || foldAscii(pattern[p]) == foldAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

bool matchesPattern(std::string_view pattern, std::string_view name) {
    if (wildcardMatch(pattern, name))
        return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
        return wildcardMatch(pattern.substr(0, pattern.size() - 2), name);
    return false;
}

bool nameLess(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return foldAscii(a[i]) < foldAscii(b[i]);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    // Same letters apart from case: plain byte order decides.
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

std::vector<DirEntry> findEntries(const std::string& directory, std::string_view pattern) {
    std::vector<DirEntry> entries;
    std::unique_ptr<DIR, DirCloser> dir(opendir(directory.empty() ? "." : directory.c_str()));
    if (!dir)
        return entries;
    const int dirFd = dirfd(dir.get());
    while (const dirent* e = readdir(dir.get())) {
        std::string_view name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (!matchesPattern(pattern, name))
            continue;
        struct stat st {};
        // An entry that vanished between readdir and the stat is passed over.
        if (fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        DirEntry entry;
        entry.name = std::string(name);
        entry.isSymlink = S_ISLNK(st.st_mode);
        entry.isDirectory = S_ISDIR(st.st_mode);
        if (entry.isSymlink) {
            // The attributes a link shows are those of what it points at.
            struct stat target {};
            if (fstatat(dirFd, e->d_name, &target, 0) == 0)
                st = target;
        }
        entry.readOnly = isReadOnlyMode(st.st_mode);
        entry.hidden = isHiddenName(entry.name);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return nameLess(a.name, b.name); });
    return entries;
}

PathLookup lookupPath(std::string_view path) {
    PathLookup result;
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    result.path = std::string(path);
    if (result.path.empty())
        return result;
    struct stat st {};
    if (stat(result.path.c_str(), &st) != 0)
        return result;
    result.exists = true;
    result.isDirectory = S_ISDIR(st.st_mode);
    return result;
}

}  // namespace tembrel
