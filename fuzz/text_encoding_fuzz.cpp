// Text conversion: the same bytes taken as CP932, as UTF-8 and as UTF-16. Whatever comes
// in, UTF-8 output is well formed, CP932 output is made of whole CP932 characters only
// (anything unknown became "?"), a cut at cp932FitLength never splits a character, and
// what multiByteUtf8Length takes for UTF-8 is well formed.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/text_encoding.h"

namespace {

bool wellFormedUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const uint8_t b = uint8_t(s[i]);
        const std::size_t n = b < 0x80         ? 1
                              : (b >> 5) == 6  ? 2
                              : (b >> 4) == 14 ? 3
                              : (b >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((uint8_t(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// CP932 text that converts without a single replacement character.
bool wholeCp932(std::string_view cp932) {
    return tembrel::text::cp932ToUtf8(cp932).find("\xEF\xBF\xBD") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tembrel::text;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    if (!wellFormedUtf8(cp932ToUtf8(bytes)))
        __builtin_trap();

    for (const std::string& cp932 : {utf8ToCp932(bytes), utf16ToCp932(std::span(data, size), true),
                                     utf16ToCp932(std::span(data, size), false)}) {
        if (!wholeCp932(cp932))
            __builtin_trap();
        const std::size_t limit = size > 0 ? data[0] : 0;
        const std::size_t fit = cp932FitLength(cp932, limit);
        if (fit > limit || fit > cp932.size() || !wholeCp932(cp932.substr(0, fit)))
            __builtin_trap();
    }
    const std::size_t fit = cp932FitLength(bytes, size / 2);
    if (fit > size / 2)
        __builtin_trap();

    for (const bool cutEndAllowed : {false, true}) {
        if (const auto length = multiByteUtf8Length(bytes, cutEndAllowed)) {
            if (*length > size || (!cutEndAllowed && *length != size) ||
                !wellFormedUtf8(bytes.substr(0, *length)))
                __builtin_trap();
        }
    }
    return 0;
}
