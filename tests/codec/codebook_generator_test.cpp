// The committed codebook tables are what their generator produces: the generator's output for
// the shortest vector lengths, and the whole pitch table, must match the committed files
// character for character.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/test_support.h"

namespace tembrel::test {
namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every "const float NAME[] = {...};" block of a generated file, by name.
std::map<std::string, std::string> arrays(const std::string& text) {
    std::map<std::string, std::string> found;
    const std::string start = "const float ";
    for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
        const size_t nameEnd = text.find('[', at);
        const size_t end = text.find("};", at);
        if (nameEnd == std::string::npos || end == std::string::npos) {
            break;
        }
        found[text.substr(at + start.size(), nameEnd - at - start.size())] =
            text.substr(at, end - at);
    }
    return found;
}

TEST(CodebookGenerator, RegeneratesTheCommittedTable) {
    TempDir dir;
    const std::string out = dir.file("books.cpp");
    ASSERT_EQ(run(std::string(MAKE_CODEBOOKS) + " " + out + " 7"), 0);
    const std::map<std::string, std::string> fresh = arrays(readText(out));
    const std::map<std::string, std::string> committed = arrays(readText(CODEBOOK_TABLE));
    ASSERT_EQ(fresh.size(), 8u);  // lengths 6 and 7, two widths, two codebooks each
    for (const auto& [name, body] : fresh) {
        ASSERT_TRUE(committed.count(name)) << name;
        EXPECT_EQ(body, committed.at(name)) << name;
    }
    EXPECT_NE(run(std::string(MAKE_CODEBOOKS) + " " + out + " 99"), 0);
}

TEST(CodebookGenerator, RegeneratesTheCommittedPitchTable) {
    TempDir dir;
    const std::string out = dir.file("pitch.cpp");
    ASSERT_EQ(run(std::string(MAKE_CODEBOOKS) + " --pitch " + out), 0);
    const std::string fresh = readText(out);
    EXPECT_EQ(arrays(fresh).size(), 2u);
    EXPECT_EQ(fresh, readText(PITCH_TABLE));
}

}  // namespace
}  // namespace tembrel::test
