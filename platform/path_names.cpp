#include "platform/path_names.h"

#include <algorithm>

namespace tembrel {
namespace {

// Where the extension of the last element begins; npos when it has none.
std::size_t extensionStart(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return std::string_view::npos;
    return dot;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

}  // namespace

std::string_view lastElementOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view stemOf(std::string_view path) {
    const std::string_view name = lastElementOf(path);
    return name.substr(0, extensionStart(name));
}

std::string replaceExtension(std::string_view path, std::string_view extension) {
    std::string out(path.substr(0, extensionStart(path)));
    out += extension;
    return out;
}

bool hasVqfExtension(std::string_view path) {
    const std::size_t dot = extensionStart(path);
    return dot != std::string_view::npos && equalsIgnoringCase(path.substr(dot), kVqfExtension);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

}  // namespace tembrel
