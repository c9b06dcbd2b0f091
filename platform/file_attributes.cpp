#include "platform/file_attributes.h"

#include <sys/stat.h>

#include "platform/path_names.h"

namespace tembrel {

bool isReadOnlyMode(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool isHiddenName(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const std::string_view name = lastElementOf(path);
    return !name.empty() && name.front() == '.';
}

bool isReadOnly(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && isReadOnlyMode(st.st_mode);
}

std::optional<uint32_t> readAttributes(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return uint32_t(st.st_mode) & kAttributeBits;
}

bool writeAttributes(const std::string& path, uint32_t bits) {
    return chmod(path.c_str(), mode_t(bits & kAttributeBits)) == 0;
}

bool copyAttributes(const std::string& from, const std::string& to) {
    const auto bits = readAttributes(from);
    return bits && writeAttributes(to, *bits);
}

bool clearReadOnly(const std::string& path) {
    const auto bits = readAttributes(path);
    if (!bits)
        return false;
    if (*bits & S_IWUSR)
        return true;
    return writeAttributes(path, *bits | S_IWUSR);
}

}  // namespace tembrel
