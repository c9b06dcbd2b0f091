// Plans and runs over files made here: the plan (the dry run) says what the run then
// does, the run loses no file, and the rename log records every rename before it is made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "driver/convert_job.h"
#include "driver/job_progress.h"
#include "platform/file_ops.h"
#include "rename/rename_plan.h"
#include "rename/rename_run.h"
#include "tag_bytes.h"
#include "test_support.h"

namespace tembrel::test {
namespace {

using O = RenameOutcome;
constexpr auto P0 = RenamePattern::Title;
constexpr auto P1 = RenamePattern::TrackTitle;

struct FileSpec {
    std::string name;
    const char* title;  // nullptr: no tags at all
    int track = 7;
};

// Audio stand-in that tells the files apart, then an ID3v1.1 block.
Bytes songBytes(const FileSpec& f) {
    Bytes bytes = str("audio of " + f.name);
    if (f.title != nullptr)
        bytes = cat({bytes, id3v1Block(f.title, "Artist", "Album", "2000", "", 0, f.track)});
    return bytes;
}

// Every file of the folder (the log left out) with its contents.
std::map<std::string, Bytes> folderContents(const fs::path& folder) {
    std::map<std::string, Bytes> out;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != kRenameLogName)
            out[name] = readFile(entry.path());
    }
    return out;
}

std::vector<Bytes> sortedContents(const std::map<std::string, Bytes>& files) {
    std::vector<Bytes> out;
    for (const auto& [name, bytes] : files)
        out.push_back(bytes);
    std::sort(out.begin(), out.end());
    return out;
}

struct Expected {
    RenameOutcome outcome;
    const char* newName;  // "" when there is no new path
};

struct PlanCase {
    const char* what;
    std::vector<FileSpec> files;
    std::vector<std::string> order;  // names given to the plan
    RenamePattern pattern;
    std::vector<Expected> expected;  // one per name of `order`
    std::vector<std::string> after;  // the folder after the run
};

class RenameRunTest : public ::testing::Test {
  protected:
    std::string at(const std::string& name) const { return dir.file(name); }
    std::string logText(const std::string& folder = "") const {
        const Bytes b = readFile(at(folder + std::string(kRenameLogName)));
        return std::string(b.begin(), b.end());
    }
    TempDir dir;
};

TEST_F(RenameRunTest, DryRunSaysWhatTheRunDoesAndNoFileIsLost) {
    const PlanCase cases[] = {
        {"track 7 Rain, pattern 1",
         {{"a.mp3", "Rain"}},
         {"a.mp3"},
         P1,
         {{O::Renamed, "07.Rain.mp3"}},
         {"07.Rain.mp3"}},
        {"two files, one target",
         {{"a.mp3", "Rain"}, {"b.mp3", "Rain"}},
         {"a.mp3", "b.mp3"},
         P1,
         {{O::Renamed, "07.Rain.mp3"}, {O::TargetTakenEarlier, "07.Rain.mp3"}},
         {"07.Rain.mp3", "b.mp3"}},
        {"a name freed by an earlier file is free",
         {{"x.mp3", "y"}, {"y.mp3", "z"}},
         {"y.mp3", "x.mp3"},
         P0,
         {{O::Renamed, "z.mp3"}, {O::Renamed, "y.mp3"}},
         {"y.mp3", "z.mp3"}},
        {"a name not yet freed is taken",
         {{"x.mp3", "y"}, {"y.mp3", "z"}},
         {"x.mp3", "y.mp3"},
         P0,
         {{O::TargetExists, "y.mp3"}, {O::Renamed, "z.mp3"}},
         {"x.mp3", "z.mp3"}},
        {"names that would move or hide the file, no title, unchanged",
         {{"a.mp3", "../x"},
          {"b.mp3", "a/b"},
          {"c.mp3", ".c"},
          {"d.mp3", nullptr},
          {"same.mp3", "same"}},
         {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "same.mp3"},
         P0,
         {{O::BadName, "../x.mp3"},
          {O::BadName, "a/b.mp3"},
          {O::BadName, ".c.mp3"},
          {O::NoTitle, ""},
          {O::Unchanged, "same.mp3"}},
         {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "same.mp3"}},
        {"a case-only change is a rename",
         {{"rain.mp3", "Rain"}},
         {"rain.mp3"},
         P0,
         {{O::Renamed, "Rain.mp3"}},
         {"Rain.mp3"}},
        {"a file listed twice, and one that is not there",
         {{"a.mp3", "Rain"}},
         {"a.mp3", "a.mp3", "gone.mp3"},
         P0,
         {{O::Renamed, "Rain.mp3"}, {O::SourceMissing, "Rain.mp3"}, {O::SourceMissing, ""}},
         {"Rain.mp3"}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir folder;
        for (const FileSpec& f : c.files)
            writeFile(folder.file(f.name), songBytes(f));
        const auto before = folderContents(folder.path());
        std::vector<std::string> paths;
        for (const std::string& name : c.order)
            paths.push_back(folder.file(name));

        const RenamePlan plan = planRenames(paths, c.pattern);
        ASSERT_EQ(plan.steps.size(), c.expected.size());
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const RenameStep& step = plan.steps[i];
            EXPECT_EQ(step.outcome, c.expected[i].outcome) << i << ": " << failureReason(step);
            const std::string newName = c.expected[i].newName;
            EXPECT_EQ(step.newPath, newName.empty() ? "" : folder.file(newName)) << i;
        }
        EXPECT_EQ(folderContents(folder.path()), before) << "the plan moved something";

        RenameRun run(planRenames(paths, c.pattern),
                      renameLogPathFor(folder.path().string(), true));
        std::atomic<bool> cancel{false};
        performAll(run, cancel);
        for (std::size_t i = 0; i < plan.steps.size(); ++i)
            EXPECT_EQ(run.steps()[i].outcome, plan.steps[i].outcome) << i;
        const auto after = folderContents(folder.path());
        std::vector<std::string> names;
        for (const auto& [name, bytes] : after)
            names.push_back(name);
        EXPECT_EQ(names, c.after);
        EXPECT_EQ(sortedContents(after), sortedContents(before)) << "a file was lost";
    }
}

TEST_F(RenameRunTest, CollectingIsNotStoppedByAnEarlierCancel) {
    writeFile(at("a.mp3"), songBytes({"a.mp3", "Rain"}));
    fs::create_directory(at("sub"));
    writeFile(at("sub/b.wav"), songBytes({"b.wav", "Snow"}));
    jobProgress().cancelRequested = true;
    const std::string root = fs::canonical(dir.path()).string();
    EXPECT_EQ(collectForRenaming(root, kDefaultTypes, ConvertSettings{}),
              (std::vector<std::string>{root + "/sub/b.wav", root + "/a.mp3"}));
}

TEST_F(RenameRunTest, TextsThatLostCharactersFailTheFile) {
    // ID3v2.3 title "Café" in UTF-16: CP932 has no "é", so the reader keeps "Caf?".
    const Bytes cafe = {1, 0xFF, 0xFE, 'C', 0, 'a', 0, 'f', 0, 0xE9, 0};
    writeFile(at("a.mp3"), cat({id3v2Tag(3, 0, frame(3, "TIT2", cafe)), str("audio")}));
    const RenamePlan plan = planRenames({at("a.mp3")}, P0);
    EXPECT_EQ(plan.steps[0].outcome, O::LostCharacters);
    EXPECT_EQ(renameByTags(at("a.mp3"), P0).outcome, O::LostCharacters);
    EXPECT_TRUE(fs::exists(at("a.mp3")));
    EXPECT_FALSE(fs::exists(at("Caf?.mp3")));
}

TEST_F(RenameRunTest, LogRecordsEveryRenameWithAbsolutePaths) {
    fs::create_directory(at("sub"));
    writeFile(at("sub/a.mp3"), songBytes({"a.mp3", "Rain"}));
    writeFile(at("sub/b.mp3"), songBytes({"b.mp3", "Snow", 8}));
    writeFile(at("sub/c.mp3"), songBytes({"c.mp3", nullptr}));
    fs::create_directory_symlink(at("sub"), at("link"));
    // Through a link and a relative path: the log names the real folder.
    CurrentDirectoryGuard back;
    ASSERT_TRUE(changeDirectory(dir.path()));
    RenameRun run(planRenames({"link/a.mp3", "link/c.mp3", "link/b.mp3"}, P1),
                  renameLogPathFor("link", true));
    std::vector<std::array<std::string, 2>> lines;
    std::atomic<bool> cancel{false};
    performAll(run, cancel, [&](const RenameStep& step) { lines.push_back(reportLines(step)); });
    back.restore();

    const std::string real = fs::canonical(dir.path()).string() + "/sub/";
    const ParsedLog log = parseRenameLog(logText("sub/"));
    ASSERT_EQ(log.badLine, 0u);
    ASSERT_EQ(log.runs.size(), 1u);
    EXPECT_EQ(log.runs[0].kind, LogRun::Kind::Rename);
    EXPECT_EQ(log.runs[0].argument, 1);
    ASSERT_EQ(log.runs[0].moves.size(), 2u);
    EXPECT_EQ(log.runs[0].moves[0].from, real + "a.mp3");
    EXPECT_EQ(log.runs[0].moves[0].to, real + "07.Rain.mp3");
    EXPECT_EQ(log.runs[0].moves[1].to, real + "08.Snow.mp3");
    EXPECT_TRUE(logText("sub/").starts_with("#run\t"));

    const std::vector<std::array<std::string, 2>> expected = {
        {"成功: link/a.mp3", " ---> link/07.Rain.mp3"},
        {"失敗: link/c.mp3", " ---> (タイトルなし)"},
        {"成功: link/b.mp3", " ---> link/08.Snow.mp3"},
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(RenameRunTest, NothingIsRenamedWhenTheLogCannotBeWritten) {
    const std::string log = at(std::string(kRenameLogName));
    const std::vector<std::function<void()>> blockers = {
        [&] { fs::create_directory(log); },
        [&] { fs::create_symlink(at("elsewhere.log"), log); },
        [&] { ASSERT_EQ(mkfifo(log.c_str(), 0600), 0); },
    };
    for (std::size_t i = 0; i < blockers.size(); ++i) {
        SCOPED_TRACE(i);
        fs::remove_all(log);
        writeFile(at("a.mp3"), songBytes({"a.mp3", "Rain"}));
        blockers[i]();
        RenameRun run(planRenames({at("a.mp3")}, P0), log);
        EXPECT_FALSE(run.logError().empty());
        EXPECT_EQ(run.performNext().outcome, O::LogFailed);
        EXPECT_TRUE(fs::exists(at("a.mp3")));
        EXPECT_FALSE(fs::exists(at("elsewhere.log")));
    }
}

TEST_F(RenameRunTest, CancelStopsBetweenFiles) {
    writeFile(at("a.mp3"), songBytes({"a.mp3", "One"}));
    writeFile(at("b.mp3"), songBytes({"b.mp3", "Two"}));
    RenameRun run(planRenames({at("a.mp3"), at("b.mp3")}, P0),
                  renameLogPathFor(dir.path().string(), true));
    std::atomic<bool> cancel{false};
    performAll(run, cancel, [&](const RenameStep&) { cancel = true; });
    EXPECT_EQ(run.steps()[0].outcome, O::Renamed);
    EXPECT_EQ(run.steps()[1].outcome, O::Cancelled);
    EXPECT_TRUE(fs::exists(at("One.mp3")));
    EXPECT_TRUE(fs::exists(at("b.mp3")));
    EXPECT_EQ(parseRenameLog(logText()).runs.at(0).moves.size(), 1u);
}

}  // namespace
}  // namespace tembrel::test
