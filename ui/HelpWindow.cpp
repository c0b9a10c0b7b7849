#include "ui/HelpWindow.h"

#include <QFile>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

// The help's resource lives in the window's static library: it is linked in from here.
static void LoadHelpResource() {
    Q_INIT_RESOURCE(help);
}

namespace ksr::ui {

HelpWindow::HelpWindow(const QString& workingFolder, QWidget* parent) : QDialog(parent) {
    LoadHelpResource();
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("KSR SetUp help"));
    text_ = new QTextBrowser(this);
    text_->setObjectName(QStringLiteral("HelpText"));
    text_->setOpenLinks(false);
    QFile file(QStringLiteral(":/help/help.html"));
    QString html = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                  : QStringLiteral("The help text is missing.");
    html.replace(QStringLiteral("%FOLDER%"), workingFolder.toHtmlEscaped());
    text_->setHtml(html);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text_);
    resize(560, 640);
}

void HelpWindow::showSection(const QString& anchor) {
    text_->scrollToAnchor(anchor);
}

QString HelpWindow::topLine() const {
    return text_->cursorForPosition(QPoint(4, 4)).block().text();
}

QString HelpWindow::html() const {
    return text_->toHtml();
}

}  // namespace ksr::ui
