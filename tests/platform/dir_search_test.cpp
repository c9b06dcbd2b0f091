#include "platform/dir_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "test_support.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::vector<std::string> names(const std::vector<DirEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back(e.name);
    return out;
}

TEST(PatternMatch, WildcardsAndAsciiCaseFolding) {
    EXPECT_TRUE(matchesPattern("*.wav", "SONG.WAV"));
    EXPECT_TRUE(matchesPattern("*.wav", "song.wav"));
    EXPECT_TRUE(matchesPattern("*.WAV", "a.b.wav"));
    EXPECT_TRUE(matchesPattern("*.wav", ".wav"));
    EXPECT_FALSE(matchesPattern("*.wav", "song.wave"));
    EXPECT_FALSE(matchesPattern("*.wav", "song.wav.bak"));
    EXPECT_FALSE(matchesPattern("*.mp3", "song.wav"));
    EXPECT_TRUE(matchesPattern("?.mp3", "a.mp3"));
    EXPECT_FALSE(matchesPattern("?.mp3", "ab.mp3"));
    EXPECT_FALSE(matchesPattern("?.mp3", ".mp3"));
    // A star must give back characters it took when the rest does not match otherwise.
    EXPECT_TRUE(matchesPattern("*a*b", "xaxxab"));
    EXPECT_FALSE(matchesPattern("*a*b", "xaxxbx"));
    EXPECT_TRUE(matchesPattern("**", ""));
    // Only ASCII letters fold; other bytes must match exactly.
    EXPECT_FALSE(matchesPattern("\xC3\xA9.wav", "\xC3\x89.wav"));
    EXPECT_TRUE(matchesPattern("\xC3\xA9.wav", "\xC3\xA9.WAV"));
}

TEST(PatternMatch, StarDotStarMatchesEveryName) {
    for (const char* name : {"README", "a.b", ".hidden", "x.", "song.WAV"})
        EXPECT_TRUE(matchesPattern("*.*", name)) << name;
    EXPECT_TRUE(matchesPattern("song.*", "song"));
    EXPECT_FALSE(matchesPattern("song.*", "songs"));
}

TEST(DirSearch, MatchesSortsAndReportsEntryKinds) {
    TempDir dir;
    for (const char* name : {"song.wav", "Song.wav", "B.wav", "a.wav", ".hidden.wav", "c.mp3"})
        test::writeFile(dir.path() / name, "x");
    fs::create_directory(dir.path() / "folder.WAV");
    fs::create_directory_symlink(dir.path(), dir.path() / "loop.wav");
    chmod(dir.file("a.wav").c_str(), 0444);

    const auto found = findEntries(dir.path().string(), "*.wav");
    EXPECT_EQ(names(found), (std::vector<std::string>{".hidden.wav", "a.wav", "B.wav", "folder.WAV",
                                                      "loop.wav", "Song.wav", "song.wav"}));
    ASSERT_EQ(found.size(), 7u);
    EXPECT_TRUE(found[0].hidden);
    EXPECT_FALSE(found[1].hidden);
    EXPECT_TRUE(found[1].readOnly);
    EXPECT_FALSE(found[2].readOnly);
    EXPECT_TRUE(found[3].isDirectory);
    EXPECT_FALSE(found[2].isDirectory);
    // A link to a directory is reported as a link, never as a directory to descend into.
    EXPECT_TRUE(found[4].isSymlink);
    EXPECT_FALSE(found[4].isDirectory);
}

TEST(DirSearch, StarDotStarListsAllButDotAndDotDot) {
    TempDir dir;
    test::writeFile(dir.path() / "plain", "x");
    test::writeFile(dir.path() / ".dot", "x");
    fs::create_directory(dir.path() / "sub");
    EXPECT_EQ(names(findEntries(dir.path().string(), "*.*")),
              (std::vector<std::string>{".dot", "plain", "sub"}));
    EXPECT_TRUE(findEntries((dir.path() / "missing").string(), "*.*").empty());
    EXPECT_TRUE(findEntries(dir.file("plain"), "*.*").empty());
}

TEST(DirSearch, EmptyDirectoryMeansCurrentDirectory) {
    TempDir dir;
    test::writeFile(dir.path() / "here.rmp", "x");
    const auto before = fs::current_path();
    fs::current_path(dir.path());
    const auto found = names(findEntries("", "*.RMP"));
    fs::current_path(before);
    EXPECT_EQ(found, std::vector<std::string>{"here.rmp"});
}

TEST(PathLookup, ExactCaseSensitiveAndWithoutWildcards) {
    TempDir dir;
    test::writeFile(dir.path() / "Song.wav", "x");
    test::writeFile(dir.path() / "odd*name?.wav", "x");
    fs::create_directory(dir.path() / "folder");

    const auto file = lookupPath(dir.file("Song.wav"));
    EXPECT_TRUE(file.exists);
    EXPECT_FALSE(file.isDirectory);
    EXPECT_EQ(file.path, dir.file("Song.wav"));

    EXPECT_FALSE(lookupPath(dir.file("song.wav")).exists);
    EXPECT_FALSE(lookupPath(dir.file("*.wav")).exists);
    EXPECT_TRUE(lookupPath(dir.file("odd*name?.wav")).exists);

    const auto folder = lookupPath(dir.file("folder") + "//");
    EXPECT_TRUE(folder.exists);
    EXPECT_TRUE(folder.isDirectory);
    EXPECT_EQ(folder.path, dir.file("folder"));

    const auto root = lookupPath("/");
    EXPECT_TRUE(root.exists);
    EXPECT_TRUE(root.isDirectory);
    EXPECT_EQ(root.path, "/");
    EXPECT_EQ(lookupPath("///").path, "/");

    EXPECT_FALSE(lookupPath("").exists);
    EXPECT_FALSE(lookupPath(dir.file("missing")).exists);
}

}  // namespace
}  // namespace tembrel
