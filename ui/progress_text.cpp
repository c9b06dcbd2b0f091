#include "ui/progress_text.h"

#include <algorithm>
#include <charconv>

namespace tembrel::ui {

float progressPercent(int32_t framesDone, int32_t framesTotal) {
    if (framesTotal <= 0)
        return 0.0f;
    const float percent = float(double(framesDone) * 100.0 / double(framesTotal) + 0.005);
    return std::clamp(percent, 0.0f, 100.0f);
}

std::string percentText(float percent) {
    char digits[32];
    // to_chars ignores the locale, unlike printf once Qt has set it from the environment.
    const auto result =
        std::to_chars(std::begin(digits), std::end(digits), percent, std::chars_format::fixed, 2);
    std::string text(digits, result.ptr);
    if (text.size() < 6)
        text.insert(0, 6 - text.size(), ' ');
    return text;
}

QString encodingStatusText(float percent, int32_t succeeded, int32_t failed) {
    return QStringLiteral("エンコード中") + QString::fromStdString(percentText(percent)) +
           QStringLiteral("%  成功 ") + QString::number(succeeded) + QStringLiteral(" 失敗 ") +
           QString::number(failed) + QStringLiteral(" / 計 ") +
           QString::number(int64_t(succeeded) + failed);
}

BarPosition barPosition(int32_t framesDone, int32_t framesTotal) {
    // A maximum of 0 would turn the bar into a busy indicator.
    const int maximum = std::max(framesTotal, 1);
    return {maximum, std::clamp(framesDone, 0, maximum)};
}

}  // namespace tembrel::ui
