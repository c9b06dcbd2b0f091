// Texts in fixed-size, NUL-terminated fields (the tag record, the setup record): bytes
// copied unchanged, never more than the field size less one.
#pragma once

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

namespace tembrel {

// The text of a field: its bytes up to the first NUL, at most size - 1 of them even when
// the terminator is missing.
inline std::string_view fieldText(std::span<const char> field) {
    const std::size_t limit = field.empty() ? 0 : field.size() - 1;
    const auto end = std::find(field.begin(), field.begin() + std::ptrdiff_t(limit), '\0');
    return {field.data(), std::size_t(end - field.begin())};
}

// Copies `bytes` into `field`, cut to the field size less one, and clears the rest of the
// field, so the field is always NUL-terminated (as a C text it ends at the first NUL).
inline void storeField(std::span<char> field, std::string_view bytes) {
    if (field.empty())
        return;
    const std::size_t n = std::min(bytes.size(), field.size() - 1);
    std::memcpy(field.data(), bytes.data(), n);
    std::memset(field.data() + n, 0, field.size() - n);
}

}  // namespace tembrel
