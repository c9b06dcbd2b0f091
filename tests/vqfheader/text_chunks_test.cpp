#include "vqfheader/text_chunks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tembrel {
namespace {

// The tag editor writes the six texts in this order and the command line names its
// options after them; both are what users and stored files see.
TEST(TextChunks, UserTextsInHeaderOrderWithTheirNamesAndFields) {
    const std::vector<std::vector<std::string>> expected = {
        {"NAME", "title", "INAM"},     {"COMT", "comment", "ICMT"}, {"AUTH", "author", "IART"},
        {"(c) ", "copyright", "ICOP"}, {"FILE", "file", ""},        {"EXTR", "extra", ""}};
    ASSERT_EQ(kUserTextChunks.size(), expected.size());
    HeaderInfo info{};
    for (size_t i = 0; i < expected.size(); ++i) {
        const TextChunkId& row = kUserTextChunks[i];
        EXPECT_EQ((std::vector<std::string>{std::string(row.id), std::string(row.name),
                                            std::string(row.riffInfoId)}),
                  expected[i]);
        EXPECT_EQ(findTextChunk(kUserTextChunks, row.id), &row);
        (info.*row.field)[0] = char('a' + i);  // every row its own field
    }
    EXPECT_EQ(std::string({info.name[0], info.comment[0], info.author[0], info.copyright[0],
                           info.file[0], info.extra[0]}),
              "abcdef");
    EXPECT_EQ(findTextChunk(kUserTextChunks, kTrackChunk.id), nullptr);
    EXPECT_EQ(findTextChunk(kUserTextChunks, "name"), nullptr);  // case matters
}

}  // namespace
}  // namespace tembrel
