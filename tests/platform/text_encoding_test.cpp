#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <vector>

namespace tembrel::text {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
    return std::vector<uint8_t>(values.begin(), values.end());
}

// "～" and "①" exist only in the vendor variant of Shift-JIS.
TEST(TextEncoding, Cp932AndUtf8RoundTripIncludingVendorCharacters) {
    const std::string utf8 = "abc 日本語 ～① ｶﾅ";
    const std::string cp932 = utf8ToCp932(utf8);
    EXPECT_EQ(cp932, "abc \x93\xfa\x96\x7b\x8c\xea \x81\x60\x87\x40 \xb6\xc5");
    EXPECT_EQ(cp932ToUtf8(cp932), utf8);
    EXPECT_EQ(cp932ToUtf8(""), "");
    EXPECT_EQ(utf8ToCp932(""), "");
    // The dash byte takes both dashes Windows texts use, and reads back as the bar.
    EXPECT_EQ(utf8ToCp932("—"), "\x81\x5c");
    EXPECT_EQ(cp932ToUtf8("\x81\x5c"), "―");
}

TEST(TextEncoding, UnconvertibleTextIsReplacedOncePerCharacter) {
    // é and the emoji have no CP932 form; a stray continuation byte and a cut-off
    // three-byte sequence are malformed.
    EXPECT_EQ(utf8ToCp932("caf\xc3\xa9 \xf0\x9f\x8e\xb5!"), "caf? ?!");
    EXPECT_EQ(utf8ToCp932("a\x80"
                          "b"),
              "a?b");
    EXPECT_EQ(utf8ToCp932("x\xe6\x97"), "x?");
    // 0x80 and 0xFD are no CP932 bytes; a lead byte at the very end lacks its trail.
    EXPECT_EQ(cp932ToUtf8("a\x80"
                          "b\xfd"
                          "c\x93"),
              "a\xef\xbf\xbd"
              "b\xef\xbf\xbd"
              "c\xef\xbf\xbd");
}

TEST(TextEncoding, LossyIsSetOnlyWhenSomethingWasReplaced) {
    struct Row {
        std::string (*convert)(std::string_view, bool*);
        std::string_view text;
        bool lossy;
    };
    const Row rows[] = {
        {utf8ToCp932, "日本 ～", false}, {utf8ToCp932, "caf\xc3\xa9", true},
        {utf8ToCp932, "a?b", false},     {cp932ToUtf8, "\x93\xfa", false},
        {cp932ToUtf8, "a\x80", true},
    };
    for (const Row& row : rows) {
        bool lossy = false;
        row.convert(row.text, &lossy);
        EXPECT_EQ(lossy, row.lossy) << row.text;
    }
    bool lossy = false;
    utf16ToCp932(bytes({0x00, 'A', 0xD8, 0x3C}), true, &lossy);
    EXPECT_TRUE(lossy);
}

TEST(TextEncoding, Utf8CharacterLengthTakesOnlyWellFormedCharacters) {
    struct Row {
        std::string_view text;
        std::size_t length;
    };
    const Row rows[] = {
        {"a", 1},
        {"\xc3\xa9", 2},
        {"\xe6\x97\xa5", 3},
        {"\xf0\x9f\x8e\xb5", 4},
        {"\xc0\xaf", 0},          // overlong
        {"\xe0\x80\xaf", 0},      // overlong
        {"\xed\xa0\x80", 0},      // surrogate
        {"\xf4\x90\x80\x80", 0},  // past U+10FFFF
        {"\xe6\x97", 0},          // cut short
        {"\x80", 0},              // stray continuation byte
        {"\xff", 0},              // never valid
    };
    for (const Row& row : rows)
        EXPECT_EQ(utf8CharacterLength(row.text, 0), row.length) << testing::PrintToString(row.text);
    EXPECT_EQ(utf8CharacterLength("ab", 2), 0u);
}

TEST(TextEncoding, Utf16FollowsTheByteOrderMark) {
    // "日本" with each byte order mark, and without one (big-endian then).
    EXPECT_EQ(utf16ToCp932(bytes({0xFF, 0xFE, 0xE5, 0x65, 0x2C, 0x67})), "\x93\xfa\x96\x7b");
    EXPECT_EQ(utf16ToCp932(bytes({0xFE, 0xFF, 0x65, 0xE5, 0x67, 0x2C})), "\x93\xfa\x96\x7b");
    EXPECT_EQ(utf16ToCp932(bytes({0x65, 0xE5, 0x67, 0x2C})), "\x93\xfa\x96\x7b");
    EXPECT_EQ(utf16ToCp932(bytes({0xE5, 0x65, 0x2C, 0x67}), false), "\x93\xfa\x96\x7b");
    EXPECT_EQ(utf16ToCp932(bytes({0xFF, 0xFE})), "");
}

TEST(TextEncoding, DamagedUtf16IsReplacedNotDropped) {
    // A surrogate pair (U+1F3B5) CP932 lacks, an unpaired high surrogate, an odd last byte.
    EXPECT_EQ(utf16ToCp932(bytes({0x00, 'A', 0xD8, 0x3C, 0xDF, 0xB5, 0x00, 'B'})), "A?B");
    EXPECT_EQ(utf16ToCp932(bytes({0x00, 'A', 0xD8, 0x3C, 0x00, 'B'})), "A?B");
    EXPECT_EQ(utf16ToCp932(bytes({0x00, 'A', 0x00})), "A?");
}

TEST(TextEncoding, StrictConversionNormalisesAndRefusesWhatCp932Lacks) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string cp932;      // when converted
        std::string character;  // when refused
        std::size_t position;
        bool malformed;
    };
    const Case cases[] = {
        {"decomposed ga", "\xe3\x81\x8b\xe3\x82\x99", "\x82\xaa", "", 0, false},
        {"vendor characters", "～①ｶ", "\x81\x60\x87\x40\xb6", "", 0, false},
        {"empty", "", "", "", 0, false},
        {"e-acute, decomposed", "cafe\xcc\x81!", "", "\xc3\xa9", 3, false},
        {"emoji after kana", "あ\xf0\x9f\x8e\xb5", "", "\xf0\x9f\x8e\xb5", 1, false},
        {"stray continuation byte",
         "a\x80"
         "b",
         "", "\x80", 1, true},
        {"cut-off sequence", "日\xe6\x97", "", "\xe6\x97", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StrictCp932 result = utf8ToCp932Strict(c.utf8);
        if (c.character.empty()) {
            ASSERT_TRUE(result.ok()) << result.refusal->character;
            EXPECT_EQ(result.cp932, c.cp932);
            continue;
        }
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.refusal->character, c.character);
        EXPECT_EQ(result.refusal->position, c.position);
        EXPECT_EQ(result.refusal->malformed, c.malformed);
    }
}

TEST(TextEncoding, FitLengthNeverSplitsADoubleByteCharacter) {
    const std::string text = "a\x93\xfa\x96\x7b";  // a日本
    EXPECT_EQ(cp932FitLength(text, 0), 0u);
    EXPECT_EQ(cp932FitLength(text, 2), 1u);
    EXPECT_EQ(cp932FitLength(text, 3), 3u);
    EXPECT_EQ(cp932FitLength(text, 4), 3u);
    EXPECT_EQ(cp932FitLength(text, 99), 5u);
    // Half-width katakana are single bytes; a lone final lead byte counts as one.
    EXPECT_EQ(cp932FitLength("\xb6\xc5", 1), 1u);
    EXPECT_EQ(cp932FitLength("ab\x93", 3), 3u);
}

}  // namespace
}  // namespace tembrel::text
