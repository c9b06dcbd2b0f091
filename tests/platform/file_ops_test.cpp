#include "platform/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/file_attributes.h"
#include "test_support.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

uint32_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return uint32_t(st.st_mode) & 07777;
}

TEST(FileAttributes, ReadOnlyAndHiddenRules) {
    EXPECT_TRUE(isReadOnlyMode(0444));
    EXPECT_TRUE(isReadOnlyMode(0555));
    EXPECT_FALSE(isReadOnlyMode(0644));
    EXPECT_FALSE(isReadOnlyMode(0464));  // group write alone is enough
    EXPECT_FALSE(isReadOnlyMode(0446));

    EXPECT_TRUE(isHiddenName(".song.wav"));
    EXPECT_TRUE(isHiddenName("/music/.cache/"));
    EXPECT_FALSE(isHiddenName("/music/.cache/a.wav"));
    EXPECT_FALSE(isHiddenName("a.wav"));
    EXPECT_FALSE(isHiddenName(""));
}

TEST(FileAttributes, ClearCopyAndRestore) {
    TempDir dir;
    const auto a = dir.file("a.wav");
    const auto b = dir.file("b.vqf");
    test::writeFile(a, "a");
    test::writeFile(b, "b");

    ASSERT_TRUE(writeAttributes(a, 0444));
    EXPECT_TRUE(isReadOnly(a));
    ASSERT_TRUE(clearReadOnly(a));
    EXPECT_EQ(modeOf(a), 0644u);  // only the owner's write bit is added
    EXPECT_FALSE(isReadOnly(a));

    ASSERT_TRUE(writeAttributes(a, 01750));
    ASSERT_TRUE(copyAttributes(a, b));
    EXPECT_EQ(modeOf(b), 01750u);
    EXPECT_EQ(readAttributes(b), std::optional<uint32_t>(01750));

    EXPECT_FALSE(readAttributes(dir.file("missing")));
    EXPECT_FALSE(copyAttributes(dir.file("missing"), b));
    EXPECT_FALSE(clearReadOnly(dir.file("missing")));
    EXPECT_FALSE(isReadOnly(dir.file("missing")));
}

TEST(RemoveFile, RemovesReadOnlyFilesAndLinksOnly) {
    TempDir dir;
    const auto file = dir.file("locked.wav");
    test::writeFile(file, "x");
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    EXPECT_TRUE(removeFile(file));
    EXPECT_FALSE(fs::exists(file));

    // Removing a link leaves its read-only target as it was.
    const auto target = dir.file("target.wav");
    const auto link = dir.file("link.wav");
    test::writeFile(target, "x");
    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    fs::create_symlink(target, link);
    EXPECT_TRUE(removeFile(link));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(modeOf(target), 0444u);

    EXPECT_FALSE(removeFile(dir.file("missing")));
    fs::create_directory(dir.path() / "folder");
    EXPECT_FALSE(removeFile(dir.file("folder")));
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));
}

TEST(RenameNoReplace, MovesButNeverReplaces) {
    for (const bool byLink : {false, true}) {
        SCOPED_TRACE(byLink ? "link and unlink" : "atomic rename");
        TempDir dir;
        const auto from = dir.file("old.wav");
        const auto to = dir.file("new.wav");
        const auto taken = dir.file("taken.wav");
        test::writeFile(from, "source");
        test::writeFile(taken, "keep me");
        auto rename = [&](const std::string& a, const std::string& b) {
            return byLink ? detail::renameByLink(a, b) : renameNoReplace(a, b);
        };

        EXPECT_FALSE(rename(from, taken));
        EXPECT_EQ(test::readFile(taken), test::bytesOf("keep me"));
        EXPECT_EQ(test::readFile(from), test::bytesOf("source"));

        EXPECT_TRUE(rename(from, to));
        EXPECT_FALSE(fs::exists(from));
        EXPECT_EQ(test::readFile(to), test::bytesOf("source"));

        EXPECT_FALSE(rename(dir.file("missing"), dir.file("other")));
        EXPECT_FALSE(fs::exists(dir.file("other")));
        EXPECT_FALSE(rename(to, to));
        EXPECT_TRUE(fs::exists(to));
    }
}

TEST(CurrentDirectory, GuardRestoresOnScopeExitEvenAfterRename) {
    TempDir dir;
    fs::create_directory(dir.path() / "start");
    fs::create_directory(dir.path() / "elsewhere");
    const auto before = fs::current_path();
    ASSERT_TRUE(changeDirectory(dir.file("start")));
    EXPECT_EQ(fs::path(currentDirectory()), fs::canonical(dir.path() / "start"));
    {
        CurrentDirectoryGuard guard;
        ASSERT_TRUE(guard.valid());
        ASSERT_TRUE(changeDirectory(dir.file("elsewhere")));
        // The remembered directory moves while we are away.
        fs::rename(dir.path() / "start", dir.path() / "moved");
    }
    EXPECT_EQ(fs::path(currentDirectory()), fs::canonical(dir.path() / "moved"));
    EXPECT_FALSE(changeDirectory(dir.file("missing")));
    EXPECT_EQ(fs::path(currentDirectory()), fs::canonical(dir.path() / "moved"));
    fs::current_path(before);
}

TEST(CurrentDirectory, EmptyWhenItNoLongerExists) {
    TempDir dir;
    fs::create_directory(dir.path() / "gone");
    const auto before = fs::current_path();
    {
        CurrentDirectoryGuard guard;
        ASSERT_TRUE(changeDirectory(dir.file("gone")));
        fs::remove(dir.path() / "gone");
        EXPECT_EQ(currentDirectory(), "");
    }
    EXPECT_EQ(fs::current_path(), before);
}

}  // namespace
}  // namespace tembrel
