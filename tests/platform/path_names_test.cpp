#include "platform/path_names.h"

#include <gtest/gtest.h>

namespace tembrel {
namespace {

// Every front end names outputs, songs and tag-editor files by these rules.
TEST(PathNames, TheExtensionIsTheLastDotOfTheLastElement) {
    struct Case {
        const char* path;
        const char* lastElement;
        const char* stem;
        const char* asVqf;
        bool isVqf;
    };
    const Case cases[] = {
        {"/music/my.song.mp3", "my.song.mp3", "my.song", "/music/my.song.vqf", false},
        {"a.WAV", "a.WAV", "a", "a.vqf", false},
        {"/x/a.b/song", "song", "song", "/x/a.b/song.vqf", false},
        {"song", "song", "song", "song.vqf", false},
        {"/m/x.vqf", "x.vqf", "x", "/m/x.vqf", true},
        {"X.VqF", "X.VqF", "X", "X.vqf", true},
        {"/m/.vqf", ".vqf", "", "/m/.vqf", true},
        {"/m/.hidden", ".hidden", "", "/m/.vqf", false},
        {"/m/a.vqf/", "", "", "/m/a.vqf/.vqf", false},
        {"/m/x.vqf.wav", "x.vqf.wav", "x.vqf", "/m/x.vqf.vqf", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lastElementOf(c.path), c.lastElement) << c.path;
        EXPECT_EQ(stemOf(c.path), c.stem) << c.path;
        EXPECT_EQ(replaceExtension(c.path, ".vqf"), c.asVqf) << c.path;
        EXPECT_EQ(hasVqfExtension(c.path), c.isVqf) << c.path;
    }
    EXPECT_TRUE(equalsIgnoringCase("MP3", "mp3"));
    EXPECT_FALSE(equalsIgnoringCase("mp3", "mp"));
    EXPECT_FALSE(equalsIgnoringCase("\xc3\xa9", "\xc3\x89"));  // ASCII letters only
}

}  // namespace
}  // namespace tembrel
