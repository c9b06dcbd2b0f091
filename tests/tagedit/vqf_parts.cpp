#include "tests/tagedit/vqf_parts.h"

#include <gtest/gtest.h>

#include "platform/byte_order.h"
#include "platform/file_ops.h"
#include "test_support.h"
#include "twinvq/encoder_driver.h"

namespace tembrel::test {

VqfParts partsOf(const std::vector<uint8_t>& file) {
    VqfParts parts;
    const std::span<const uint8_t> all(file);
    parts.versionId.assign(file.begin(), file.begin() + 12);
    const std::size_t end = 16 + bytes::readBE32(all.subspan(12));
    for (std::size_t at = 16; at < end;) {
        const uint32_t size = bytes::readBE32(all.subspan(at + 4));
        parts.chunks.push_back({std::string(file.begin() + at, file.begin() + at + 4),
                                std::string(file.begin() + at + 8, file.begin() + at + 8 + size)});
        at += 8 + size;
    }
    parts.frameData.assign(file.begin() + end + 4, file.end());
    return parts;
}

std::vector<uint8_t> bytesOf(const VqfParts& parts) {
    std::vector<uint8_t> body;
    for (const Chunk& c : parts.chunks) {
        body.insert(body.end(), c.id.begin(), c.id.end());
        uint8_t size[4];
        bytes::storeBE(size, uint32_t(c.data.size()), 4);
        body.insert(body.end(), size, size + 4);
        body.insert(body.end(), c.data.begin(), c.data.end());
    }
    std::vector<uint8_t> file(parts.versionId.begin(), parts.versionId.end());
    uint8_t size[4];
    bytes::storeBE(size, uint32_t(body.size()), 4);
    file.insert(file.end(), size, size + 4);
    file.insert(file.end(), body.begin(), body.end());
    file.insert(file.end(), {'D', 'A', 'T', 'A'});
    file.insert(file.end(), parts.frameData.begin(), parts.frameData.end());
    return file;
}

const VqfParts& encodedVqf() {
    static const VqfParts parts = [] {
        TempDir dir;
        const std::string wav = dir.file("a.wav");
        const std::string mp3 = dir.file("a.mp3");
        EXPECT_EQ(run("sox -n -r 22050 -c 1 -b 16 '" + wav + "' synth 1 sine 440 gain -6"), 0);
        EXPECT_EQ(run("lame --quiet -b 32 --tt 雨の歌 --ta 作者 --tc comment --ty 2003 --tn 7 '" +
                      wav + "' '" + mp3 + "'"),
                  0);
        fs::create_directories(dir.path() / "header_info" / "SCND");
        writeFile(dir.path() / "header_info" / "SCND" / "NAME", "scnd name");
        CurrentDirectoryGuard back;
        changeDirectory(dir.path().string());
        EXPECT_EQ(encoderDriver().encodeFile(mp3, dir.file("a.vqf")), 0);
        EXPECT_TRUE(encoderDriver().takeOutput().commit());
        back.restore();
        return partsOf(readFile(dir.file("a.vqf")));
    }();
    return parts;
}

}  // namespace tembrel::test
