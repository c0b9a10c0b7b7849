#pragma once
// Helpers for the window tests: a recording stand-in for the window's services, a scratch
// working directory, and access to controls by their names.

#include <QAbstractButton>
#include <QTest>
#include <QWidget>
#include <filesystem>
#include <vector>

#include "TestSupport.h"
#include "ui/Widgets.h"
#include "ui/WindowServices.h"

namespace ksr::test {

class FakeServices : public ui::WindowServices {
  public:
    int beeps = 0;
    std::vector<int> sleeps;
    int ends = 0;
    QStringList errors;
    QDateTime clock{QDate(2026, 12, 6), QTime(14, 7, 33)};
    // The order of beeps ("b"), pauses ("s200") and the end ("end").
    QStringList trace;

    void beep() override {
        ++beeps;
        trace << QStringLiteral("b");
    }
    void sleepMs(int ms) override {
        sleeps.push_back(ms);
        trace << QStringLiteral("s%1").arg(ms);
    }
    void endProgram() override {
        ++ends;
        trace << QStringLiteral("end");
    }
    QDateTime now() const override { return clock; }
    void showError(QWidget*, const QString& message) override { errors << message; }
};

template <class T = QWidget>
T* Find(QWidget* root, const char* name) {
    T* found = root->findChild<T*>(QString::fromLatin1(name));
    if (!found) qFatal("no control named %s", name);
    return found;
}

inline void Click(QWidget* root, const char* name) {
    QWidget* w = Find(root, name);
    QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

// Clicks the up or down half of a spin button, `times` times.
inline void Spin(QWidget* root, const char* name, bool up, int times = 1) {
    auto* spin = Find<ui::SpinButton>(root, name);
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(up ? spin->upButton() : spin->downButton(), Qt::LeftButton);
}

inline QString Text(QWidget* root, const char* name) {
    QWidget* w = Find(root, name);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    return w->property("text").toString();
}

inline bool Shown(QWidget* root, const char* name) {
    return Find(root, name)->isVisibleTo(root);
}

// The files of a folder with their contents.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files[e.path().filename().string()] = ReadBytes(e.path());
    return files;
}

}  // namespace ksr::test
