#pragma once
// For the start-up benchmark: when the environment names KSR_REPORT_FIRST_FRAME, the first frame
// of `window` (its first paint done) prints "first-frame NS" (CLOCK_MONOTONIC nanoseconds, the
// same clock in every process) on standard error and ends the program.

class QWidget;

namespace ksr::ui {

void ReportFirstFrameIfAsked(QWidget* window);

}  // namespace ksr::ui
