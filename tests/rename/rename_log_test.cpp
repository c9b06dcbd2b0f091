// The rename log's lines, and undo from it.
#include <gtest/gtest.h>

#include <filesystem>

#include "rename/rename_log.h"
#include "rename/rename_undo.h"
#include "tag_bytes.h"
#include "test_support.h"

namespace tembrel::test {
namespace {

using O = RenameOutcome;

TEST(RenameLog, PathsRoundTripThroughTheirEscapes) {
    struct Row {
        std::string path;
        std::string escaped;
    };
    const Row rows[] = {
        {"/m/日本語 ～.mp3", "/m/日本語 ～.mp3"},
        {"/m/a\tb\nc\\d", "/m/a\\tb\\nc\\\\d"},
        {std::string("/m/\xff\x93\xfa\r\x7f", 8), "/m/\\xff\\x93\\xfa\\x0d\\x7f"},
        {std::string("/m/\0x", 5), "/m/\\x00x"},
        {"/m/\\x41", "/m/\\\\x41"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(escapeLogPath(row.path), row.escaped);
        EXPECT_EQ(unescapeLogPath(row.escaped), row.path);
    }
    for (std::string_view bad : {"a\\", "a\\q", "a\\x4", "a\\xg0", "a\rb"})
        EXPECT_FALSE(unescapeLogPath(bad)) << bad;
}

TEST(RenameLog, ParsesRunsAndRefusesWhatItDoesNotKnow) {
    const std::string good =
        "#run\t2026-01-01 10:00:00 +0900\trename\t2\t%02d.[%s]-%s\n"
        "/m/a.mp3\t/m/07.[x]-Rain.mp3\n"
        "/m/b\\tc.mp3\t/m/08.[x]-Snow.mp3\n"
        "\n"
        "#run\t2026-01-01 10:05:00 +0900\tundo\t1\n"
        "/m/08.[x]-Snow.mp3\t/m/b\\tc.mp3\n";
    const ParsedLog log = parseRenameLog(good);
    ASSERT_EQ(log.badLine, 0u);
    ASSERT_EQ(log.runs.size(), 2u);
    EXPECT_EQ(log.runs[0].argument, 2);
    EXPECT_EQ(log.runs[0].moves[1].from, "/m/b\tc.mp3");
    EXPECT_EQ(log.runs[1].kind, LogRun::Kind::Undo);
    EXPECT_EQ(log.runs[1].moves.size(), 1u);
    // That what the writer makes reads back the same, the fuzz target checks (its
    // regression inputs run as a test).

    struct Row {
        std::string text;
        std::size_t badLine;
    };
    const std::string header = "#run\tt\trename\t1\n";
    const Row rows[] = {
        {"/m/a\t/m/b\n", 1},                  // a rename before any run
        {header + "/m/a\t/m/b\t/m/c\n", 2},   // three paths
        {header + "m/a\t/m/b\n", 2},          // not absolute
        {header + "/m/a\\q\t/m/b\n", 2},      // unknown escape
        {"#run\tt\trename\t4\n", 1},          // no such pattern
        {"#run\tt\tundo\t1\n", 1},            // undo of no renaming
        {header + "#run\tt\tundo\t2\n", 2},   // undo of itself
        {"#run\tt\tmove\t1\n", 1},            // unknown kind
        {"#walk\tt\trename\t1\n", 1},         // unknown header
        {header + "#run\tt\tundo\t1x\n", 2},  // not a number
    };
    for (const Row& row : rows)
        EXPECT_EQ(parseRenameLog(row.text).badLine, row.badLine) << row.text;
}

class UndoTest : public ::testing::Test {
  protected:
    void SetUp() override { root = fs::canonical(dir.path()).string(); }
    std::string at(const std::string& name) const { return root + "/" + name; }
    std::string log() const { return at(std::string(kRenameLogName)); }
    void song(const std::string& name, const char* title) {
        writeFile(at(name), cat({str("audio of " + name),
                                 id3v1Block(title, "Artist", "Album", "2000", "", 0, 7)}));
    }
    // Renames the files in the folder (pattern 0: the title).
    void renameAll(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const std::string& name : names)
            paths.push_back(at(name));
        RenameRun run(planRenames(paths, RenamePattern::Title), log());
        std::atomic<bool> cancel{false};
        performAll(run, cancel);
    }
    std::vector<RenameOutcome> undo() {
        RenameRun run = startUndo(planUndo(log()));
        std::atomic<bool> cancel{false};
        performAll(run, cancel);
        std::vector<RenameOutcome> out;
        for (const RenameStep& step : run.steps())
            out.push_back(step.outcome);
        return out;
    }
    TempDir dir;
    std::string root;
};

TEST_F(UndoTest, RestoresTheOriginalNamesOfTheLastRunInReverseOrder) {
    // c -> d first, then a -> c: only the reverse order can take both back.
    song("c.mp3", "d");
    song("a.mp3", "c");
    renameAll({"c.mp3", "a.mp3"});
    ASSERT_TRUE(fs::exists(at("d.mp3")) && fs::exists(at("c.mp3")) && !fs::exists(at("a.mp3")));
    const Bytes fromA = readFile(at("c.mp3"));

    const UndoPlan dryRun = planUndo(log());
    ASSERT_EQ(dryRun.error, "");
    EXPECT_EQ(dryRun.runNumber, 1);
    ASSERT_EQ(dryRun.steps.size(), 2u);
    EXPECT_EQ(dryRun.steps[0].path, at("c.mp3"));
    EXPECT_EQ(dryRun.steps[0].newPath, at("a.mp3"));
    EXPECT_TRUE(dryRun.steps[1].ok());
    EXPECT_FALSE(fs::exists(at("a.mp3"))) << "the dry run moved something";

    EXPECT_EQ(undo(), (std::vector{O::Renamed, O::Renamed}));
    EXPECT_EQ(readFile(at("a.mp3")), fromA);
    EXPECT_TRUE(fs::exists(at("c.mp3")));
    EXPECT_FALSE(fs::exists(at("d.mp3")));
    // The undo is in the log: a second one has nothing left to take back.
    EXPECT_NE(planUndo(log()).error, "");
}

TEST_F(UndoTest, EachUndoTakesBackTheRunBefore) {
    song("a.mp3", "b");
    renameAll({"a.mp3"});
    song("x.mp3", "y");
    renameAll({"x.mp3"});
    renameAll({"b.mp3"});  // a run that renames nothing is not undone
    EXPECT_EQ(planUndo(log()).runNumber, 2);
    undo();
    EXPECT_TRUE(fs::exists(at("x.mp3")));
    EXPECT_EQ(planUndo(log()).runNumber, 1);
    undo();
    EXPECT_TRUE(fs::exists(at("a.mp3")));
}

TEST_F(UndoTest, NeverOverwritesAndSaysWhatItSkipped) {
    song("a.mp3", "b");
    song("x.mp3", "y");
    renameAll({"a.mp3", "x.mp3"});
    writeFile(at("a.mp3"), "a new file took the old name");
    fs::remove(at("y.mp3"));
    EXPECT_EQ(undo(), (std::vector{O::SourceMissing, O::TargetExists}));
    EXPECT_EQ(readFile(at("a.mp3")), str("a new file took the old name"));
    EXPECT_TRUE(fs::exists(at("b.mp3")));
}

TEST_F(UndoTest, MovesNothingOutsideTheLogsFolder) {
    TempDir outside;
    const std::string elsewhere = fs::canonical(outside.path()).string();
    writeFile(outside.file("new.mp3"), "x");
    fs::create_directory_symlink(elsewhere, at("link"));
    // Another folder, by its own path, through a link, and by ".." from here.
    const std::string viaDots = root + "/../" + fs::path(elsewhere).filename().string();
    std::string lines = "#run\tt\trename\t0\n";
    for (const std::string& folder : {elsewhere, root + "/link", viaDots})
        lines += folder + "/old.mp3\t" + folder + "/new.mp3\n";
    lines += root + "/a.mp3\t" + root + "/link/a.mp3\n";  // into another folder
    writeFile(log(), lines);
    const UndoPlan plan = planUndo(log());
    ASSERT_EQ(plan.steps.size(), 4u);
    for (const RenameStep& step : plan.steps)
        EXPECT_EQ(step.outcome, O::OutsideLogFolder) << step.path;
    undo();
    EXPECT_TRUE(fs::exists(outside.file("new.mp3")));
    EXPECT_FALSE(fs::exists(outside.file("old.mp3")));
}

TEST_F(UndoTest, DamagedOrMissingLogUndoesNothing) {
    EXPECT_NE(planUndo(at("missing.log")).error, "");
    writeFile(log(), "#run\tt\trename\t0\n/a\t/b\ngarbage\n");
    const UndoPlan plan = planUndo(log());
    EXPECT_NE(plan.error.find("line 3"), std::string::npos) << plan.error;
    EXPECT_TRUE(plan.steps.empty());
}

}  // namespace
}  // namespace tembrel::test
