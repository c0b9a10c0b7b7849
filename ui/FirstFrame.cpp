#include "ui/FirstFrame.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>

namespace ksr::ui {
namespace {

// The first paint of the window or of any of its children: the rest of that paint pass runs
// before the queued report.
class FirstFrame : public QObject {
  public:
    explicit FirstFrame(QWidget* window) : QObject(window), window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && !seen_ && widget &&
            (widget == window_ || window_->isAncestorOf(widget))) {
            seen_ = true;
            // After the paint has been handed to the display.
            QTimer::singleShot(0, [] {
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count();
                std::fprintf(stderr, "first-frame %lld\n", static_cast<long long>(ns));
                std::fflush(stderr);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget* window_;
    bool seen_ = false;
};

}  // namespace

void ReportFirstFrameIfAsked(QWidget* window) {
    if (qEnvironmentVariableIsSet("KSR_REPORT_FIRST_FRAME"))
        qApp->installEventFilter(new FirstFrame(window));
}

}  // namespace ksr::ui
