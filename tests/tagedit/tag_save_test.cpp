// The tag editor's file work on VQF files our encoder made: a save changes exactly the
// edited texts and nothing else, and a save that cannot be done leaves the file as it
// was, with no temporary file beside it.
#include "tagedit/tag_save.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <utility>

#include "platform/file_ops.h"
#include "test_support.h"
#include "tests/support/full_storage.h"
#include "tests/support/read_only_folder.h"
#include "tests/tagedit/vqf_parts.h"

namespace tembrel::test {
namespace {

using tagedit::HeaderTexts;
using tagedit::SaveOutcome;
using tagedit::SaveResult;
using tagedit::TextEdits;

// Edits by chunk id.
using Edits = std::map<std::string, std::string>;

TextEdits textEdits(const Edits& edits) {
    TextEdits out;
    for (const auto& [id, text] : edits)
        out[*tagedit::textIndex(id)] = text;
    return out;
}

const Chunk& encodedChunk(const std::string& id) {
    for (const Chunk& c : encodedVqf().chunks) {
        if (c.id == id)
            return c;
    }
    throw std::runtime_error("the encoder wrote no " + id);
}

std::vector<uint8_t> vqfWith(std::vector<Chunk> chunks) {
    VqfParts parts = encodedVqf();
    parts.chunks = std::move(chunks);
    return bytesOf(parts);
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

std::string repeated(const std::string& text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

SaveResult readAndSave(const std::string& path, const Edits& edits) {
    const tagedit::ReadResult read = tagedit::readHeaderTexts(path);
    return tagedit::saveHeaderTexts(path, read.ok() ? &*read.texts : nullptr, textEdits(edits));
}

class TagSaveTest : public ::testing::Test {
  protected:
    void SetUp() override { savedUmask = umask(022); }
    void TearDown() override { umask(savedUmask); }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        writeFile(dir.file(name), bytes);
        return dir.file(name);
    }

    mode_t savedUmask = 0;
    TempDir dir;
};

TEST_F(TagSaveTest, SaveReplacesTheEditedTextsAndKeepsEveryOtherByte) {
    const Chunk comm = encodedChunk("COMM");
    const Chunk trac = encodedChunk("TRAC");
    const Chunk year = encodedChunk("YEAR");
    const Chunk scnd = encodedChunk("SCND");
    const Chunk dsiz{"DSIZ", std::string("\x00\x01\x02\x03", 4)};
    std::string longComment(2000, 'c');
    longComment[100] = '\0';
    struct Case {
        const char* name;
        std::vector<Chunk> before;
        Edits edits;
        std::vector<Chunk> after;
    };
    const std::vector<Case> cases = {
        {"cleared title removes its chunk",
         encodedVqf().chunks,
         {{"NAME", ""}},
         {comm, encodedChunk("COMT"), encodedChunk("AUTH"), trac, year, scnd}},
        {"texts move behind COMM, other chunks keep bytes and order",
         {dsiz, {"NAME", "early"}, comm, trac, year, {"AUTH", "old"}, scnd, {"EXTR", "x"}},
         {{"AUTH", "新しい作者"}},
         {dsiz,
          comm,
          {"NAME", "early"},
          {"AUTH", "\x90\x56\x82\xb5\x82\xa2\x8d\xec\x8e\xd2"},
          {"EXTR", "x"},
          trac,
          year,
          scnd}},
        {"a 2000-byte comment survives a title edit whole",
         {comm, {"COMT", longComment}, {"NAME", "old"}},
         {{"NAME", "new"}},
         {comm, {"NAME", "new"}, {"COMT", longComment}}},
        {"CP932 bytes that do not round-trip survive an edit of another field",
         {comm, {"AUTH", "\xed\x40\x80"}, {"(c) ", "\xfa\x5c"}},
         {{"COMT", "c"}},
         {comm, {"COMT", "c"}, {"AUTH", "\xed\x40\x80"}, {"(c) ", "\xfa\x5c"}}},
        {"duplicates: every occurrence leaves, the first stays when not edited",
         {comm, {"NAME", "1"}, {"AUTH", "a1"}, {"NAME", "2"}, {"AUTH", "a2"}, {"COMM", "x"}},
         {{"NAME", "new"}},
         {comm, {"NAME", "new"}, {"AUTH", "a1"}, {"COMM", "x"}}},
        {"typed text is normalised, and 1023 bytes fit",
         {comm},
         {{"NAME", "\xe3\x81\x8b\xe3\x82\x99"}, {"FILE", std::string(1023, 'f')}},
         {comm, {"NAME", "\x82\xaa"}, {"FILE", std::string(1023, 'f')}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write("song.vqf", vqfWith(c.before));
        const SaveResult result = readAndSave(path, c.edits);
        ASSERT_TRUE(result.ok()) << result.message << " " << result.why;
        // The whole file: head with the new size, the chunks, "DATA", the frame data.
        EXPECT_EQ(readFile(path), vqfWith(c.after));
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"song.vqf"});
    }
    // The size shrinks by the cleared text's length + 8.
    EXPECT_EQ(vqfWith(encodedVqf().chunks).size() - vqfWith(cases[0].after).size(),
              encodedChunk("NAME").data.size() + 8);
}

TEST_F(TagSaveTest, ReadGivesTheFirstOfEachTextWholeAndWhatStaysOfTheHeader) {
    std::string comment(2000, 'c');
    comment[5] = '\0';
    const std::string path = write("song.vqf", vqfWith({encodedChunk("COMM"),
                                                        {"NAME", "first"},
                                                        {"COMT", comment},
                                                        {"NAME", "second"},
                                                        encodedChunk("TRAC")}));
    const tagedit::ReadResult read = tagedit::readHeaderTexts(path);
    ASSERT_TRUE(read.ok()) << read.why;
    const auto& texts = read.texts->texts;
    EXPECT_EQ(texts[*tagedit::textIndex("NAME")], "first");
    EXPECT_EQ(texts[*tagedit::textIndex("COMT")], comment);
    EXPECT_FALSE(texts[*tagedit::textIndex("AUTH")].has_value());
    EXPECT_EQ(read.texts->keptHeaderBytes,
              8 + encodedChunk("COMM").data.size() + 8 + encodedChunk("TRAC").data.size());
}

TEST_F(TagSaveTest, RefusedEditsNameTheFieldAndWriteNothing) {
    struct Case {
        Edits edits;
        std::string message;
    };
    const Case cases[] = {
        {{{"NAME", "café"}}, "曲名：「é」はVQFファイルに保存できない文字です（4文字目）"},
        {{{"AUTH", "ok"}, {"EXTR", "a\xf0\x9f\x8e\xb5"}},
         "拡張文字：「\xf0\x9f\x8e\xb5」はVQFファイルに保存できない文字です（2文字目）"},
        {{{"COMT", std::string(1024, 'a')}}, "コメント：長すぎます（1024バイト、1023バイトまで）"},
        {{{"(c) ", repeated("あ", 512)}}, "著作権者：長すぎます（1024バイト、1023バイトまで）"},
    };
    const std::vector<uint8_t> original = vqfWith(encodedVqf().chunks);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const std::string path = write("song.vqf", original);
        const SaveResult result = readAndSave(path, c.edits);
        EXPECT_EQ(result.outcome, SaveOutcome::TextRefused);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(readFile(path), original);
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"song.vqf"});
    }
}

TEST_F(TagSaveTest, FilesThatAreNoCleanVqfAreNeitherReadNorSaved) {
    std::vector<uint8_t> sizesDisagree = vqfWith(encodedVqf().chunks);
    sizesDisagree[16 + 7] += 1;  // COMM claims one byte more
    std::vector<uint8_t> bodyTooLong = vqfWith(encodedVqf().chunks);
    bodyTooLong[15] += 4;  // the walk would end inside "DATA"
    std::vector<uint8_t> noData = vqfWith(encodedVqf().chunks);
    const std::size_t dataAt = noData.size() - encodedVqf().frameData.size() - 4;
    noData[dataAt + 3] = 'B';
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool readable;  // the header walks, but the save has no COMM to put the texts after
    };
    const Case cases[] = {
        {"not a VQF file", bytesOf("RIFF....WAVEfmt this is no VQF file at all"), false},
        {"shorter than its head", bytesOf("TWIN9701"), false},
        {"chunk sizes disagree with the header size", sizesDisagree, false},
        {"header size reaches past its chunks", bodyTooLong, false},
        {"no DATA after the header", noData, false},
        {"no COMM", vqfWith({{"NAME", "x"}, encodedChunk("TRAC")}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write("x.vqf", c.bytes);
        const tagedit::ReadResult read = tagedit::readHeaderTexts(path);
        EXPECT_EQ(read.ok(), c.readable) << read.why;
        const SaveResult result = readAndSave(path, {{"NAME", "typed"}});
        EXPECT_EQ(result.outcome, SaveOutcome::WriteFailed);
        EXPECT_EQ(result.message, tagedit::kWriteFailedMessage);
        EXPECT_EQ(readFile(path), c.bytes);
        EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"x.vqf"});
    }
}

TEST_F(TagSaveTest, SaveThatCannotBeDoneLeavesTheFileAsItWas) {
    enum class Fault { FullStorage, ReadOnlyFolder, HardLink, ChangedAfterRead };
    const std::pair<Fault, const char*> faults[] = {
        {Fault::FullStorage, "full storage"},
        {Fault::ReadOnlyFolder, "read-only folder"},
        {Fault::HardLink, "a second hard link"},
        {Fault::ChangedAfterRead, "changed after it was read"},
    };
    const std::vector<uint8_t> original = vqfWith(encodedVqf().chunks);
    for (const auto& [fault, name] : faults) {
        SCOPED_TRACE(name);
        TempDir d;
        const std::string folder = d.file("f");
        fs::create_directory(folder);
        std::optional<FullStorage> storage;
        if (fault == Fault::FullStorage)
            storage.emplace(folder);
        const std::string path = folder + "/song.vqf";
        writeFile(path, original);
        const tagedit::ReadResult read = tagedit::readHeaderTexts(path);
        ASSERT_TRUE(read.ok()) << read.why;

        std::optional<ReadOnlyFolder> readOnly;
        std::vector<uint8_t> expected = original;
        if (fault == Fault::FullStorage) {
            storage->fill();
        } else if (fault == Fault::ReadOnlyFolder) {
            readOnly.emplace(folder);
            ASSERT_TRUE(readOnly->usable()) << "cannot make a folder refuse new files here";
        } else if (fault == Fault::HardLink) {
            fs::create_hard_link(path, folder + "/other.vqf");
        } else {
            expected.push_back(0);
            writeFile(path, expected);
        }
        const std::set<std::string> before = namesIn(folder);
        const SaveResult result =
            tagedit::saveHeaderTexts(path, &*read.texts, textEdits({{"NAME", "typed"}}));
        EXPECT_EQ(result.outcome, SaveOutcome::WriteFailed) << result.why;
        EXPECT_EQ(result.message, tagedit::kWriteFailedMessage);
        EXPECT_EQ(readFile(path), expected);
        EXPECT_EQ(namesIn(folder), before);
    }
}

TEST_F(TagSaveTest, SavedFileKeepsModeOwnerGroupAndLinks) {
    struct Case {
        const char* name;
        mode_t mode;
        bool otherOwner;  // owned by nobody:nogroup
        bool throughLink;
        bool bareName;
    };
    const Case cases[] = {
        {"read-only file", 0444, false, false, false},
        {"another user's file", 0640, true, false, false},
        {"through a relative link from a read-only folder", 0644, false, true, false},
        {"bare name in the current directory", 0600, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        fs::create_directories(d.path() / "music");
        fs::create_directories(d.path() / "links");
        const std::string file = d.file("music/song.vqf");
        writeFile(file, vqfWith(encodedVqf().chunks));
        ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
        if (c.otherOwner) {
            ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
        }
        struct stat before {};
        ASSERT_EQ(stat(file.c_str(), &before), 0);

        std::string path = file;
        std::optional<ReadOnlyFolder> readOnly;
        CurrentDirectoryGuard back;
        if (c.throughLink) {
            path = d.file("links/song.vqf");
            fs::create_symlink("../music/song.vqf", path);
            // The temporary file must go beside the file, not beside the link.
            readOnly.emplace(d.file("links"));
            ASSERT_TRUE(readOnly->usable());
        } else if (c.bareName) {
            changeDirectory(d.file("music"));
            path = "song.vqf";
        }
        const SaveResult result = readAndSave(path, {{"AUTH", "新しい作者"}});
        back.restore();
        ASSERT_TRUE(result.ok()) << result.why;

        struct stat after {};
        ASSERT_EQ(stat(file.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not written in place";
        EXPECT_EQ(partsOf(readFile(file)).chunks[3],
                  (Chunk{"AUTH", "\x90\x56\x82\xb5\x82\xa2\x8d\xec\x8e\xd2"}));
        EXPECT_EQ(namesIn(d.file("music")), std::set<std::string>{"song.vqf"});
        if (c.throughLink) {
            EXPECT_TRUE(fs::is_symlink(path));
            EXPECT_EQ(fs::read_symlink(path), "../music/song.vqf");
        }
    }
}

TEST_F(TagSaveTest, TemporaryNamesAddTildesWithinTheNameLimit) {
    const std::vector<std::string> names = tagedit::temporaryNames("/music/", "song.vqf");
    ASSERT_EQ(names.size(), 255u - 8u);
    EXPECT_EQ(names[0], "~song.vqf");
    EXPECT_EQ(names[1], "~~song.vqf");
    EXPECT_EQ(names.back().size(), 255u);
    EXPECT_TRUE(tagedit::temporaryNames("", std::string(255, 'n')).empty());

    // A taken tilde name is passed over and kept; a name with no room for a tilde still
    // saves, through a temporary name of the helper's own. The names made in the folder
    // are watched as the save makes them.
    struct Case {
        std::string name;
        std::string taken;
        std::string temporaryPrefix;
    };
    const std::string longName = std::string(251, 'n') + ".vqf";
    const Case cases[] = {
        {"song.vqf", "~song.vqf", "~~song.vqf"},
        {longName, "~" + longName.substr(0, 250), ".tembrel-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.temporaryPrefix);
        const std::string path = write(c.name, vqfWith(encodedVqf().chunks));
        writeFile(dir.file(c.taken), "someone's file");
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(inotify_add_watch(watch, dir.path().c_str(), IN_CREATE), 0);
        const SaveResult result = readAndSave(path, {{"NAME", "new"}});
        std::vector<std::string> created;
        alignas(inotify_event) char events[8192];
        for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
            for (char* at = events; at < events + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                created.emplace_back(event->name);
                at += sizeof(inotify_event) + event->len;
            }
        }
        close(watch);
        ASSERT_TRUE(result.ok()) << result.why;
        ASSERT_EQ(created.size(), 1u);
        EXPECT_TRUE(created[0].starts_with(c.temporaryPrefix)) << created[0];
        EXPECT_EQ(partsOf(readFile(path)).chunks[1], (Chunk{"NAME", "new"}));
        EXPECT_EQ(readFile(dir.file(c.taken)), bytesOf("someone's file"));
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{c.name, c.taken}));
        fs::remove(path);
        fs::remove(dir.file(c.taken));
    }
}

}  // namespace
}  // namespace tembrel::test
