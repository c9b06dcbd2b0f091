#include <gtest/gtest.h>

#include <memory>

#include "chunk_bytes.h"
#include "vqfheader/chunk.h"
#include "vqfheader/chunk_chunk.h"
#include "vqfheader/value_chunks.h"

namespace tembrel {
namespace {

using test::Bytes;
using test::operator+;
using test::sub;
using test::text;

TEST(Chunk, PutIntegerAppendsTheLowBytesBigEndian) {
    CChunk chunk("TEST");
    chunk.PutInteger(16909060, 4);
    chunk.PutInteger(-2, 2);
    chunk.PutInteger(300, 1);
    chunk.PutInteger(7, 0);
    EXPECT_EQ(chunk.data(), (Bytes{0x01, 0x02, 0x03, 0x04, 0xFF, 0xFE, 0x2C}));
    EXPECT_THROW(chunk.PutInteger(7, 5), CChunk::err_FailPut);
    EXPECT_THROW(chunk.PutInteger(7, -1), CChunk::err_FailPut);
    EXPECT_EQ(chunk.data().size(), 7u);
}

TEST(Chunk, PutOperationsAppendBytesUnchanged) {
    CChunk chunk("TEST");
    chunk.PutString(std::string_view("a\0b", 3));
    chunk.PutBytes(2, "\x93\xfa");
    chunk.PutBytes(0, "x");
    chunk.PutBytes(-5, "x");
    chunk.PutData(Bytes{0xFF});
    EXPECT_EQ(chunk.data(), (Bytes{'a', 0, 'b', 0x93, 0xFA, 0xFF}));
}

TEST(Chunk, GetOperationsNeverReadPastTheData) {
    CChunk chunk("TEST", Bytes{'a', 0, 'b', 0xFF, 0xFE, 0x80, 0, 0, 1});
    EXPECT_EQ(chunk.GetString(10), "");
    EXPECT_EQ(chunk.readPos(), 0u);
    EXPECT_EQ(chunk.GetString(3), std::string("a\0b", 3));
    EXPECT_TRUE(chunk.GetData(7).empty());
    EXPECT_EQ(chunk.readPos(), 3u);
    EXPECT_EQ(chunk.GetInteger(2), 0xFFFE);  // narrower values are not sign-extended
    EXPECT_EQ(chunk.GetInteger(4), int32_t(0x80000001));
    EXPECT_THROW(chunk.GetInteger(1), CChunkChunk::err_FailGetChunk);
    EXPECT_EQ(chunk.readPos(), 9u);
    chunk.Rewind();
    EXPECT_THROW(chunk.GetInteger(5), CChunkChunk::err_FailGetChunk);
    EXPECT_EQ(chunk.GetData(2), (Bytes{'a', 0}));
}

TEST(Chunk, ValueKindsSerialiseAtConstruction) {
    EXPECT_EQ(CStringChunk("NAME", "").data(), Bytes{});
    EXPECT_EQ(CStringChunk("NAME", "\x82\xa0z").data(), (Bytes{0x82, 0xA0, 'z'}));
    EXPECT_EQ(CEncdChunk("ENCD", 2000, 1, 2, 3, 4, 5).data(),
              (Bytes{0x07, 0xD0, 0x01, 0x02, 0x03, 0x04, 0x05}));
    EXPECT_EQ(CYearChunk("YEAR", 1999, -1).data(), (Bytes{0x07, 0xCF, 0xFF}));
    EXPECT_EQ(CIntegerChunk<2>("TRAC", -2).data(), (Bytes{0xFF, 0xFE}));
    EXPECT_EQ(CIntegerChunk<4>("DSIZ", 1000).data(), (Bytes{0, 0, 0x03, 0xE8}));

    const CCommChunk comm(1, 96, 44, 0);
    EXPECT_EQ(comm.id(), "COMM");
    const Bytes commData{0, 0, 0, 1, 0, 0, 0, 0x60, 0, 0, 0, 0x2C, 0, 0, 0, 0};
    EXPECT_EQ(comm.data(), commData);
    CChunkChunk container("TOP");
    container.PutChunk(comm);
    EXPECT_EQ(container.data(), sub("COMM", commData));
    EXPECT_EQ(container.data().size(), 24u);
}

TEST(Chunk, CommChunkDecodesAnExistingChunk) {
    CChunk raw("COMM",
               Bytes{0, 0, 0, 1, 0, 0, 0, 0x60, 0, 0, 0, 0x2C, 0xFF, 0xFF, 0xFF, 0xFF, 9, 9, 9, 9});
    raw.GetData(6);  // a moved read position does not matter: it rewinds
    const CCommChunk comm(raw);
    EXPECT_EQ(comm.channelMode, 1);
    EXPECT_EQ(comm.bitRate, 96);
    EXPECT_EQ(comm.samplingRate, 44);
    EXPECT_EQ(comm.securityLevel, -1);
    EXPECT_EQ(comm.data(), raw.data());

    EXPECT_THROW(CCommChunk(CChunk("COMM", Bytes(15, 0))), CChunkChunk::err_FailGetChunk);
}

TEST(ChunkChunk, SubChunksRoundTripIncludingEmptyOnes) {
    CChunkChunk container("TOP");
    container.PutChunk(CStringChunk("NAME", "abc"));
    container.PutChunk(CChunk("EMPT"));
    container.PutChunk(CIntegerChunk<2>("TRAC", 12));
    EXPECT_EQ(container.data(),
              sub("NAME", text("abc")) + sub("EMPT", {}) + sub("TRAC", Bytes{0, 12}));

    // A copy reads exactly like the original once rewound.
    container.GetChunk();
    CChunkChunk copy = container;
    copy.Rewind();
    for (CChunkChunk* c : {&container, &copy}) {
        c->Rewind();
        auto a = c->GetChunk();
        auto b = c->GetChunk();
        auto d = c->GetChunk();
        ASSERT_TRUE(a && b && d);
        EXPECT_EQ(a->id(), "NAME");
        EXPECT_EQ(a->data(), text("abc"));
        EXPECT_EQ(b->id(), "EMPT");
        EXPECT_TRUE(b->data().empty());
        EXPECT_EQ(d->data(), (Bytes{0, 12}));
        EXPECT_EQ(c->GetChunk(), nullptr);
        EXPECT_EQ(c->GetChunk(), nullptr);
    }
}

TEST(ChunkChunk, MalformedContainers) {
    // Stray bytes after the last sub-chunk: ignored.
    for (size_t stray = 1; stray <= 3; ++stray) {
        CChunkChunk c("TOP", sub("NAME", text("x")) + Bytes(stray, 'Z'));
        EXPECT_NE(c.GetChunk(), nullptr);
        EXPECT_EQ(c.GetChunk(), nullptr) << stray;
    }
    // Declared size above what follows.
    CChunkChunk longer("TOP", text("NAME") + Bytes{0, 0, 0, 5} + text("abcd"));
    EXPECT_THROW(longer.GetChunk(), CChunkChunk::err_FailGetChunk);
    // Id complete, size field cut short.
    for (size_t sizeBytes = 0; sizeBytes < 4; ++sizeBytes) {
        CChunkChunk cut("TOP", text("NAME") + Bytes(sizeBytes, 0));
        EXPECT_THROW(cut.GetChunk(), CChunkChunk::err_FailGetChunk) << sizeBytes;
    }
    // A size with the top bit set counts as no data; the next id follows the size.
    CChunkChunk negative("TOP", text("NEG ") + Bytes{0x80, 0, 0, 1} + sub("NEXT", text("q")));
    auto first = negative.GetChunk();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->data().empty());
    auto second = negative.GetChunk();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->id(), "NEXT");
    EXPECT_EQ(second->data(), text("q"));
}

}  // namespace
}  // namespace tembrel
