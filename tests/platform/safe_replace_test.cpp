// The one way a user's file is replaced: a temporary file beside it, renamed over it on
// commit, removed on abandon; the old file survives every failure byte for byte.
#include "platform/safe_replace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "test_support.h"
#include "tests/support/full_storage.h"
#include "tests/support/read_only_folder.h"

namespace tembrel::test {
namespace {

const std::vector<uint8_t> kOld = bytesOf("old content");
const std::vector<uint8_t> kNew(4000, 'n');

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

uint32_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class SafeReplaceTest : public ::testing::Test {
  protected:
    void SetUp() override { savedUmask = umask(022); }
    void TearDown() override { umask(savedUmask); }
    mode_t savedUmask = 0;
    TempDir dir;
};

TEST_F(SafeReplaceTest, CommitPutsTheNewContentUnderTheNameWithTheBitsAsked) {
    struct Case {
        const char* name;
        bool predecessor;
        bool targetIsLink;
        std::optional<uint32_t> bits;
        uint32_t expectedBits;
    };
    const Case cases[] = {
        {"new file gets 0666 & ~umask", false, false, std::nullopt, 0644},
        {"old file replaced, default bits", true, false, std::nullopt, 0644},
        {"old file's read-only bits kept", true, false, 0444, 0444},
        {"link replaced as a name", true, true, 0600, 0600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        const std::string target = d.file("out.vqf");
        const std::string pointee = d.file("pointee");
        if (c.targetIsLink) {
            writeFile(pointee, kOld);
            fs::create_symlink(pointee, target);
        } else if (c.predecessor) {
            writeFile(target, kOld);
        }
        SafeReplace out = SafeReplace::create(target);
        ASSERT_TRUE(out.ok()) << out.error();
        EXPECT_EQ(modeOf(out.path()) & 077, 0u) << "readable by others while written";
        ASSERT_TRUE(out.write(kNew));
        ASSERT_TRUE(out.commit(c.bits)) << out.error();
        EXPECT_FALSE(out.ok());
        EXPECT_EQ(readFile(target), kNew);
        EXPECT_EQ(modeOf(target), c.expectedBits);
        EXPECT_FALSE(fs::is_symlink(target));
        if (c.targetIsLink) {
            EXPECT_EQ(readFile(pointee), kOld);
        }
        EXPECT_EQ(namesIn(d.path()).size(), c.targetIsLink ? 2u : 1u);
    }
}

TEST_F(SafeReplaceTest, PreferredNamesFirstThenAShortHiddenNameOfItsOwn) {
    const std::string longName(251, 'x');  // "~" + name + ".vqf" is one byte too many
    struct Case {
        const char* name;
        std::string target;
        std::vector<std::string> existing;
        std::vector<std::string> preferred;
        std::string expected;  // empty: the helper's own name
    };
    const Case cases[] = {
        {"first preferred free", "song.vqf", {}, {"~song.vqf", "~~song.vqf"}, "~song.vqf"},
        {"first preferred taken",
         "song.vqf",
         {"~song.vqf"},
         {"~song.vqf", "~~song.vqf"},
         "~~song.vqf"},
        {"all preferred taken", "song.vqf", {"~song.vqf"}, {"~song.vqf"}, ""},
        {"preferred too long", longName + ".vqf", {}, {"~" + longName + ".vqf"}, ""},
        {"no preferred names", "song.wav", {}, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        for (const std::string& name : c.existing)
            writeFile(d.file(name), kOld);
        SafeReplace out = SafeReplace::create(d.file(c.target), c.preferred);
        ASSERT_TRUE(out.ok()) << out.error();
        const std::string name = fs::path(out.path()).filename().string();
        EXPECT_EQ(fs::path(out.path()).parent_path(), d.path());
        if (!c.expected.empty()) {
            EXPECT_EQ(name, c.expected);
            continue;
        }
        // A leftover of a killed run is hidden and never taken for a source or an output.
        EXPECT_EQ(name.front(), '.');
        EXPECT_LE(name.size(), 32u);
        for (const char* extension : {".wav", ".mp3", ".rmp", ".vqf", ".flac", ".ogg", ".opus"})
            EXPECT_FALSE(name.ends_with(extension)) << name;
        for (const std::string& existing : c.existing)
            EXPECT_EQ(readFile(d.file(existing)), kOld);
    }
}

TEST_F(SafeReplaceTest, WrittenByPathAndCommittedByAnotherOwner) {
    const std::string target = dir.file("out.vqf");
    writeFile(target, kOld);
    SafeReplace owner;
    {
        SafeReplace writer = SafeReplace::create(target);
        std::FILE* f = std::fopen(writer.path().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(kNew.data(), 1, kNew.size(), f), kNew.size());
        ASSERT_EQ(std::fclose(f), 0);
        owner = std::move(writer);
    }  // the moved-from writer must not remove it
    EXPECT_EQ(readFile(target), kOld);
    ASSERT_TRUE(owner.commit());
    EXPECT_EQ(readFile(target), kNew);
    EXPECT_EQ(namesIn(dir.path()).size(), 1u);
}

TEST_F(SafeReplaceTest, AbandonAndDestructionLeaveTheTargetAndNoTemporaryFile) {
    const std::string target = dir.file("out.vqf");
    writeFile(target, kOld);
    for (bool explicitly : {true, false}) {
        SafeReplace out = SafeReplace::create(target);
        ASSERT_TRUE(out.write(kNew));
        if (explicitly)
            out.abandon();
        else
            out = SafeReplace();
        EXPECT_EQ(readFile(target), kOld);
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"out.vqf"});
    }
}

TEST_F(SafeReplaceTest, NoReplaceCommitLeavesAnExistingFileAndMayTakeAnotherName) {
    const std::string target = dir.file("out.vqf");
    writeFile(target, kOld);
    SafeReplace out = SafeReplace::create(target);
    ASSERT_TRUE(out.write(kNew));
    EXPECT_FALSE(out.commitNoReplace());
    EXPECT_EQ(out.error(), EEXIST);
    EXPECT_TRUE(out.ok());
    EXPECT_EQ(readFile(target), kOld);
    ASSERT_TRUE(out.commitNoReplace(0640, dir.file("out.partial.vqf"))) << out.error();
    EXPECT_EQ(readFile(dir.file("out.partial.vqf")), kNew);
    EXPECT_EQ(modeOf(dir.file("out.partial.vqf")), 0640u);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"out.vqf", "out.partial.vqf"}));
}

TEST_F(SafeReplaceTest, FullStorageOrReadOnlyFolderFailsAndKeepsTheOldFile) {
    for (bool full : {true, false}) {
        SCOPED_TRACE(full ? "full storage" : "read-only folder");
        TempDir d;
        const std::string folder = d.file("f");
        fs::create_directory(folder);
        std::optional<FullStorage> storage;
        if (full)
            storage.emplace(folder);
        const std::string target = folder + "/out.vqf";
        writeFile(target, kOld);
        std::optional<ReadOnlyFolder> readOnly;
        if (full) {
            storage->fill();
        } else {
            readOnly.emplace(folder);
            ASSERT_TRUE(readOnly->usable()) << "cannot make a folder refuse new files here";
        }
        std::set<std::string> before = namesIn(folder);
        {
            SafeReplace out = SafeReplace::create(target, std::vector<std::string>{"~out.vqf"});
            const bool written = out.ok() && out.write(kNew) && out.commit();
            EXPECT_FALSE(written);
            EXPECT_NE(out.error(), 0);
        }
        EXPECT_EQ(readFile(target), kOld);
        EXPECT_EQ(namesIn(folder), before);
    }
}

}  // namespace
}  // namespace tembrel::test
