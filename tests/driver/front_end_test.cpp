#include "driver/front_end.h"

#include <gtest/gtest.h>

namespace tembrel {
namespace {

TEST(FrontEnd, OnlyASingleVqfFileOpensTheTagEditor) {
    struct Case {
        PathKind kind;
        const char* path;
        bool opens;
    };
    const Case cases[] = {
        {PathKind::File, "/music/song.vqf", true},
        {PathKind::File, "SONG.VQF", true},
        {PathKind::File, "a.b/.vqf", true},
        {PathKind::File, "song.vqf.wav", false},
        {PathKind::File, "/music.vqf/song", false},
        {PathKind::File, "vqf", false},
        {PathKind::Folder, "/music/album.vqf", false},
        {PathKind::Unresolved, "gone.vqf", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(opensTagEditor(c.kind, c.path), c.opens) << c.path;
}

TEST(FrontEnd, EndReportFromTheOutcomeAndTheSettings) {
    using Kind = EndReport::Kind;
    struct Case {
        int32_t failures, warnings;
        bool cancelled, noSound;
        Kind kind;
        const char* message;
    };
    const Case cases[] = {
        {0, 0, false, false, Kind::Beep, ""},
        {0, 0, false, true, Kind::Silence, ""},
        {0, 0, true, false, Kind::Silence, ""},
        {3, 0, false, true, Kind::FailureMessage, "3個変換できず"},
        {2, 5, false, false, Kind::FailureMessage, "2個変換できず"},
        {0, 1, false, true, Kind::WarningMessage, "1個は警告付きで変換"},
        {4, 1, true, false, Kind::Silence, ""},
    };
    for (const Case& c : cases) {
        const EndReport report = endReport(c.failures, c.warnings, c.cancelled, c.noSound);
        EXPECT_EQ(report.kind, c.kind) << c.failures << ' ' << c.warnings;
        EXPECT_EQ(report.message, c.message);
    }
}

}  // namespace
}  // namespace tembrel
