// The folder walk, observed through a renaming job: no encoder is needed to see which
// files a job visits and in what order.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "driver/convert_job.h"
#include "driver/convert_settings.h"
#include "driver/job_progress.h"
#include "driver/source_walk.h"
#include "job_fixture.h"
#include "test_support.h"

namespace tembrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeFile;

struct RecordingList : RenameList {
    std::vector<std::string> paths;
    int cancelAfter = -1;  // sets cancelRequested after that many paths
    void appendPath(const std::string& path) override {
        paths.push_back(path);
        if (int(paths.size()) == cancelAfter)
            jobProgress().cancelRequested = true;
    }
};

class WalkTest : public test::JobTestBase {
  protected:
    void touch(const std::string& relative) {
        fs::create_directories(fs::path(root + "/" + relative).parent_path());
        writeFile(root + "/" + relative, "x");
    }
    // Relative paths of what a renaming job over `path` collects.
    std::vector<std::string> walk(const std::string& path, int32_t mask = kDefaultTypes,
                                  int cancelAfter = -1) {
        RecordingList list;
        list.cancelAfter = cancelAfter;
        ConvertJob job;
        job.mode = JobMode::AutoRename;
        job.renameTarget = &list;
        job.typeMask = mask;
        job.folderPath = path;
        job.resolvePath(path);
        job.run();
        std::vector<std::string> out;
        for (const auto& p : list.paths) {
            out.push_back(p.starts_with(root + "/") ? p.substr(root.size() + 1) : p);
        }
        return out;
    }
};

using Paths = std::vector<std::string>;

TEST_F(WalkTest, FilesBeforeSubfoldersDepthFirstAndOneTypeAfterAnother) {
    touch("b.mp3");
    touch("a.wav");
    touch("z.WAV");
    touch("sub/c.wav");
    touch("sub/deeper/e.wav");
    touch("sub/d.mp3");
    touch("t.rmp");
    touch("notes.txt");
    touch("曲.wav");
    EXPECT_EQ(walk(root), (Paths{"a.wav", "z.WAV", "曲.wav", "sub/c.wav", "sub/deeper/e.wav",
                                 "b.mp3", "sub/d.mp3", "t.rmp"}));
}

TEST_F(WalkTest, TypeMaskSelectsThePasses) {
    touch("a.wav");
    touch("b.mp3");
    touch("c.rmp");
    EXPECT_EQ(walk(root, kTypeMp3), (Paths{"b.mp3"}));
    EXPECT_EQ(walk(root, kTypeWav | kTypeRmp), (Paths{"a.wav", "c.rmp"}));
    EXPECT_EQ(walk(root, 0), Paths{});
}

TEST_F(WalkTest, SkipOptionsAndDotFolders) {
    touch("a.wav");
    touch(".h.wav");
    touch("sub/c.wav");
    touch(".music/x.wav");
    EXPECT_EQ(walk(root), (Paths{".h.wav", "a.wav", "sub/c.wav"}));
    convertSettings().skipHidden = true;
    EXPECT_EQ(walk(root), (Paths{"a.wav", "sub/c.wav"}));
    convertSettings().skipSubfolders = true;
    EXPECT_EQ(walk(root), (Paths{"a.wav"}));
}

TEST_F(WalkTest, CancelStopsTheWalkAndEveryLaterPass) {
    touch("a.wav");
    touch("b.wav");
    touch("sub/c.wav");
    touch("d.mp3");
    EXPECT_EQ(walk(root, kDefaultTypes, 1), (Paths{"a.wav"}));
    // The cancel of that job does not stop the next renaming job.
    ASSERT_TRUE(jobProgress().cancelRequested);
    EXPECT_EQ(walk(root), (Paths{"a.wav", "b.wav", "sub/c.wav", "d.mp3"}));
}

TEST_F(WalkTest, SymbolicLinkCycleIsWalkedOnce) {
    touch("sub/c.wav");
    fs::create_directory_symlink(root, root + "/sub/loop");
    EXPECT_EQ(walk(root), (Paths{"sub/c.wav"}));
}

TEST_F(WalkTest, CurrentDirectoryIsRestored) {
    touch("sub/c.wav");
    const fs::path before = fs::current_path();
    walk(root);
    EXPECT_EQ(fs::current_path(), before);
    walk(root + "/missing");
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(WalkTest, CollectSourcesListsWhatAJobVisitsInItsOrder) {
    for (const char* name : {"b.mp3", "a.wav", ".h.wav", "sub/c.wav", "sub/d.rmp", "x.txt"})
        touch(name);
    const auto collected = [this](const std::string& path, int32_t mask) {
        std::vector<std::string> out;
        for (const std::string& p : collectSources(path, mask, convertSettings()))
            out.push_back(p.substr(root.size() + 1));
        return out;
    };
    for (const bool skip : {false, true}) {
        convertSettings().skipHidden = skip;
        convertSettings().skipSubfolders = skip;
        for (const int32_t mask : {kDefaultTypes, kTypeWav | kTypeRmp})
            EXPECT_EQ(collected(root, mask), walk(root, mask)) << skip << mask;
    }
    EXPECT_EQ(collected(root + "/sub/c.wav", kTypeMp3), (Paths{"sub/c.wav"}));
    EXPECT_EQ(collectSources(root + "/missing", kDefaultTypes, convertSettings()), Paths{});
}

TEST_F(WalkTest, ResolvePathTellsFilesFromFolders) {
    touch("sub/c.wav");
    ConvertJob job;
    job.resolvePath(root + "/sub/c.wav");
    EXPECT_EQ(job.kind, PathKind::File);
    EXPECT_EQ(job.outputPath, root + "/sub/c.vqf");
    job.resolvePath(root + "/sub/");
    EXPECT_EQ(job.kind, PathKind::Folder);
    job.resolvePath(root + "/nothing.wav");
    EXPECT_EQ(job.kind, PathKind::Unresolved);
    EXPECT_EQ(job.inputPath, root + "/nothing.wav");
    // Names are looked up exactly, as the file system spells them.
    job.resolvePath(root + "/sub/C.wav");
    EXPECT_EQ(job.kind, PathKind::Unresolved);
}

TEST(OutputNaming, JoinsWithExactlyOneSlash) {
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(joinPath("", "b"), "/b");
}

}  // namespace
}  // namespace tembrel
