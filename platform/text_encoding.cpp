#include "platform/text_encoding.h"

#include <iconv.h>
#include <uninorm.h>
#include <unistr.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "platform/byte_order.h"

namespace tembrel::text {
namespace {

// glibc's "SHIFT_JIS" lacks the vendor characters (～, ①, ...) that Japanese tags use.
constexpr const char* kCp932 = "CP932";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr std::string_view kReplacementCp932 = "?";

// How the source text is cut into characters, so that one unconvertible character
// gives exactly one replacement.
enum class Source { cp932, utf8, utf16le, utf16be };

bool isCp932Lead(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool isCp932Trail(uint8_t b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

uint16_t utf16Unit(const uint8_t* p, bool bigEndian) {
    const std::span<const uint8_t> unit(p, 2);
    return bigEndian ? bytes::readBE16(unit) : bytes::readLE16(unit);
}

// Bytes of the character at `p` that could not be converted (at least 1, at most `left`).
std::size_t badCharacterLength(Source source, const uint8_t* p, std::size_t left) {
    switch (source) {
        case Source::cp932:
            return (left >= 2 && isCp932Lead(p[0]) && isCp932Trail(p[1])) ? 2 : 1;
        case Source::utf8: {
            std::size_t expected = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC0 ? 2 : 1;
            std::size_t n = 1;
            while (n < expected && n < left && (p[n] & 0xC0) == 0x80)
                ++n;
            return n;
        }
        case Source::utf16le:
        case Source::utf16be: {
            if (left < 2)
                return left;
            bool be = source == Source::utf16be;
            uint16_t unit = utf16Unit(p, be);
            if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
                uint16_t next = utf16Unit(p + 2, be);
                if (next >= 0xDC00 && next <= 0xDFFF)
                    return 4;
            }
            return 2;
        }
    }
    return 1;
}

// One iconv conversion descriptor, closed on every path.
class IconvSession {
  public:
    IconvSession(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvSession() {
        if (ok())
            iconv_close(cd_);
    }
    IconvSession(const IconvSession&) = delete;
    IconvSession& operator=(const IconvSession&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

// Without a usable converter, ASCII still passes and everything else is replaced.
std::string asciiOnly(std::span<const uint8_t> in, Source source, std::string_view replacement,
                      bool* lossy) {
    std::string out;
    std::size_t unit = (source == Source::utf16le || source == Source::utf16be) ? 2 : 1;
    for (std::size_t i = 0; i < in.size();) {
        std::size_t n = badCharacterLength(source, &in[i], in.size() - i);
        uint16_t value =
            unit == 2 ? (n >= 2 ? utf16Unit(&in[i], source == Source::utf16be) : 0xFFFF) : in[i];
        if (n == unit && value < 0x80) {
            out.push_back(char(value));
        } else {
            out += replacement;
            *lossy = true;
        }
        i += n;
    }
    return out;
}

// Converts `in`, replacing each character that does not convert and then setting *lossy
// (when given; it is never cleared); with `refusedAt`, stops at the first such character
// instead and stores its offset there (npos when none).
std::string convert(std::span<const uint8_t> in, const char* from, const char* to, Source source,
                    std::string_view replacement, bool* lossy, std::size_t* refusedAt = nullptr) {
    bool ignored = false;
    if (lossy == nullptr)
        lossy = &ignored;
    if (refusedAt)
        *refusedAt = std::string::npos;
    IconvSession session(to, from);
    if (!session.ok()) {
        if (refusedAt)
            *refusedAt = 0;
        return refusedAt ? std::string() : asciiOnly(in, source, replacement, lossy);
    }

    std::string out;
    std::vector<char> buffer(in.size() * 2 + 16);
    // iconv's interface takes non-const input pointers; it never writes through them.
    char* inPtr = const_cast<char*>(reinterpret_cast<const char*>(in.data()));
    std::size_t inLeft = in.size();
    while (true) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        std::size_t result = inLeft ? iconv(session.get(), &inPtr, &inLeft, &outPtr, &outLeft)
                                    : iconv(session.get(), nullptr, nullptr, &outPtr, &outLeft);
        int error = result == std::size_t(-1) ? errno : 0;
        out.append(buffer.data(), std::size_t(outPtr - buffer.data()));
        if (error == E2BIG)
            continue;
        if (error != 0 && refusedAt) {
            *refusedAt = std::size_t(reinterpret_cast<const uint8_t*>(inPtr) - in.data());
            return out;
        }
        if (error == EILSEQ || error == EINVAL) {
            // EINVAL: the text ends inside a character; it is replaced like a bad one.
            std::size_t skip =
                badCharacterLength(source, reinterpret_cast<const uint8_t*>(inPtr), inLeft);
            if (error == EINVAL)
                skip = inLeft;
            out += replacement;
            *lossy = true;
            inPtr += skip;
            inLeft -= skip;
            iconv(session.get(), nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        if (error != 0) {
            out += replacement;
            *lossy = true;
            break;
        }
        if (inLeft == 0)
            break;
    }
    return out;
}

std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::string cp932ToUtf8(std::string_view cp932, bool* lossy) {
    return convert(bytesOf(cp932), kCp932, "UTF-8", Source::cp932, kReplacementUtf8, lossy);
}

std::string utf8ToCp932(std::string_view utf8, bool* lossy) {
    return convert(bytesOf(utf8), "UTF-8", kCp932, Source::utf8, kReplacementCp932, lossy);
}

std::string utf16ToCp932(std::span<const uint8_t> utf16, bool defaultBigEndian, bool* lossy) {
    bool bigEndian = defaultBigEndian;
    if (utf16.size() >= 2 && utf16[0] == 0xFF && utf16[1] == 0xFE) {
        bigEndian = false;
        utf16 = utf16.subspan(2);
    } else if (utf16.size() >= 2 && utf16[0] == 0xFE && utf16[1] == 0xFF) {
        bigEndian = true;
        utf16 = utf16.subspan(2);
    }
    return bigEndian
               ? convert(utf16, "UTF-16BE", kCp932, Source::utf16be, kReplacementCp932, lossy)
               : convert(utf16, "UTF-16LE", kCp932, Source::utf16le, kReplacementCp932, lossy);
}

std::size_t utf8CharacterLength(std::string_view text, std::size_t position) {
    if (position >= text.size())
        return 0;
    ucs4_t character = 0;
    const int length =
        u8_mbtoucr(&character, reinterpret_cast<const uint8_t*>(text.data()) + position,
                   text.size() - position);
    return length > 0 ? std::size_t(length) : 0;
}

std::optional<std::size_t> multiByteUtf8Length(std::string_view bytes, bool cutEndAllowed) {
    const auto* units = reinterpret_cast<const uint8_t*>(bytes.data());
    bool multiByte = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        ucs4_t character = 0;
        // -2: the text ends inside a character that is well formed so far.
        const int length = u8_mbtoucr(&character, units + i, bytes.size() - i);
        if (length == -2 && cutEndAllowed)
            break;
        if (length <= 0)
            return std::nullopt;
        multiByte = multiByte || length > 1;
        i += std::size_t(length);
    }
    if (!multiByte)
        return std::nullopt;
    return i;
}

StrictCp932 utf8ToCp932Strict(std::string_view utf8) {
    const auto* units = reinterpret_cast<const uint8_t*>(utf8.data());
    if (const uint8_t* bad = u8_check(units, utf8.size())) {
        const std::size_t offset = std::size_t(bad - units);
        const std::size_t length = badCharacterLength(Source::utf8, bad, utf8.size() - offset);
        return {{},
                Cp932Refusal{std::string(utf8.substr(offset, length)), u8_mbsnlen(units, offset),
                             true}};
    }
    std::size_t normalLength = 0;
    const std::unique_ptr<uint8_t, decltype(&std::free)> normal(
        u8_normalize(UNINORM_NFC, units, utf8.size(), nullptr, &normalLength), &std::free);
    if (!normal && !utf8.empty())
        throw std::bad_alloc();
    const std::span<const uint8_t> text(normal.get(), normal ? normalLength : 0);
    std::size_t refusedAt = std::string::npos;
    std::string cp932 = convert(text, "UTF-8", kCp932, Source::utf8, {}, nullptr, &refusedAt);
    if (refusedAt == std::string::npos)
        return {std::move(cp932), std::nullopt};
    const uint8_t* bad = text.data() + refusedAt;
    const std::size_t length = badCharacterLength(Source::utf8, bad, text.size() - refusedAt);
    return {{},
            Cp932Refusal{std::string(reinterpret_cast<const char*>(bad), length),
                         u8_mbsnlen(text.data(), refusedAt), false}};
}

std::size_t cp932FitLength(std::string_view cp932, std::size_t maxBytes) {
    std::size_t i = 0;
    while (i < cp932.size()) {
        auto b = uint8_t(cp932[i]);
        std::size_t n = (isCp932Lead(b) && i + 1 < cp932.size()) ? 2 : 1;
        if (i + n > maxBytes)
            break;
        i += n;
    }
    return i;
}

}  // namespace tembrel::text
