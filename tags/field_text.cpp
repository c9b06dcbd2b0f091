#include "tags/field_text.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/text_encoding.h"

namespace tembrel {

void storeCp932Field(std::span<char> field, std::string_view cp932) {
    if (field.empty())
        return;
    storeField(field, cp932.substr(0, text::cp932FitLength(cp932, field.size() - 1)));
}

bool storeUndeclaredText(std::span<char> field, std::string_view bytes, bool fillsItsField) {
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    bool lossy = false;
    if (const auto length = text::multiByteUtf8Length(text, fillsItsField))
        storeCp932Field(field, text::utf8ToCp932(text.substr(0, *length), &lossy));
    else
        storeField(field, bytes);
    return lossy;
}

int32_t clampToInt32(uint64_t value) {
    constexpr auto kMax = uint64_t(std::numeric_limits<int32_t>::max());
    return int32_t(std::min(value, kMax));
}

std::optional<int32_t> leadingNumber(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    if (*text < '0' || *text > '9')
        return std::nullopt;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT32_MAX)
            value = int64_t(INT32_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        value = INT32_MAX;
    if (value < INT32_MIN)
        value = INT32_MIN;
    return int32_t(value);
}

}  // namespace tembrel
