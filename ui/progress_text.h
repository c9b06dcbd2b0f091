// What the progress window shows of the running job: the bar, the percentage and the
// status line. Plain functions, so that the numbers are checked without a window.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace tembrel::ui {

// framesDone × 100 / framesTotal + 0.005, rounded to single precision (so that two
// decimals round half up: 50 of 100 shows 50.01); 0 without a total; within 0 to 100.
float progressPercent(int32_t framesDone, int32_t framesTotal);

// The percentage right-aligned in six characters with two decimals and a point,
// whatever the locale: " 50.01".
std::string percentText(float percent);

// "エンコード中 50.01%  成功 1 失敗 0 / 計 1".
QString encodingStatusText(float percent, int32_t succeeded, int32_t failed);

// The bar over the full 32-bit counts, the position kept within the range.
struct BarPosition {
    int maximum;
    int value;
};
BarPosition barPosition(int32_t framesDone, int32_t framesTotal);

}  // namespace tembrel::ui
