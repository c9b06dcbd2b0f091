// The inner coding configuration of one of the converter's settings, for tests of the codec's
// parts below the library interface.
#pragma once

#include <gtest/gtest.h>

#include "codec/core/stream_config.h"
#include "tests/codec/codec_session.h"

namespace tembrel::test {

inline tvq::StreamConfig configFor(int khz, int channels, int kbps) {
    tvq::StreamConfig c;
    EXPECT_TRUE(tvq::makeStreamConfig(headerFor({khz, channels, kbps}), c));
    return c;
}

}  // namespace tembrel::test
