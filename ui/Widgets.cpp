#include "ui/Widgets.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace ksr::ui {

void SetBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Button, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    return l;
}

QString Latin1Text(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

ClickPanel::ClickPanel(const QString& objectName, const QString& caption, const QColor& colour,
                       QWidget* parent)
    : QLabel(caption, parent) {
    setObjectName(objectName);
    setAlignment(Qt::AlignCenter);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    // Reached with Tab like a button; a mouse click leaves the focus where it is, so that a
    // value being typed is not corrected before the click's action reads it.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setBold(true);
    setFont(f);
    SetBackground(this, colour);
}

void ClickPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
        setFrameShadow(QFrame::Sunken);
    }
}

void ClickPanel::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    setFrameShadow(QFrame::Raised);
    if (wasPressed && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickPanel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            emit clicked();
            break;
        default:
            QLabel::keyPressEvent(event);
    }
}

void ClickPanel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    // The focus mark: a dotted frame inside the panel's border.
    QPainter painter(this);
    QPen pen(palette().color(QPalette::WindowText));
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(4, 4, -5, -5));
}

void ClickPanel::focusInEvent(QFocusEvent* event) {
    QLabel::focusInEvent(event);
    update();
}

void ClickPanel::focusOutEvent(QFocusEvent* event) {
    QLabel::focusOutEvent(event);
    update();
}

namespace {

class ClickPanelAccessible : public QAccessibleWidget {
  public:
    explicit ClickPanelAccessible(ClickPanel* panel)
        : QAccessibleWidget(panel, QAccessible::Button) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString own = widget()->accessibleName();
            return own.isEmpty() ? static_cast<ClickPanel*>(widget())->text() : own;
        }
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction() && widget()->isEnabled())
            static_cast<ClickPanel*>(widget())->click();
    }
};

QAccessibleInterface* AccessibleFor(const QString& className, QObject* object) {
    if (className == QLatin1String("ksr::ui::ClickPanel"))
        if (auto* panel = qobject_cast<ClickPanel*>(object)) return new ClickPanelAccessible(panel);
    return nullptr;
}

QString SpeltOut(const QString& objectName) {
    QStringList words;
    QString word;
    for (int i = 0; i < objectName.size(); ++i) {
        const QChar c = objectName[i];
        const bool boundary = i > 0 && c.isUpper() &&
                              (objectName[i - 1].isLower() || objectName[i - 1].isDigit() ||
                               (objectName[i - 1].isUpper() && i + 1 < objectName.size() &&
                                objectName[i + 1].isLower()));
        if (boundary && !word.isEmpty()) {
            words << word;
            word.clear();
        }
        word += c;
    }
    if (!word.isEmpty()) words << word;
    for (int i = 1; i < words.size(); ++i)  // "Spin" -> "spin"; "GPS" stays
        if (words[i].size() > 1 && words[i].mid(1) == words[i].mid(1).toLower())
            words[i] = words[i].toLower();
    return words.join(QLatin1Char(' '));
}

class EnterPresses : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            auto* button = qobject_cast<QAbstractButton*>(watched);
            if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
                if (button->isEnabled()) button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(AccessibleFor);
}

void NameFocusableControls(QWidget* window) {
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus || !w->accessibleName().isEmpty()) continue;
        if (qobject_cast<ClickPanel*>(w)) continue;  // named by its caption as it changes
        QString name;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) name = b->text().remove(QLatin1Char('&'));
        if (name.trimmed().isEmpty() && !w->objectName().isEmpty())
            name = SpeltOut(w->objectName());
        if (name.trimmed().isEmpty()) {
            // A part of a named control (the line edit of a spin edit, a tool button of a pair).
            for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
                if (!p->objectName().isEmpty()) {
                    name = SpeltOut(p->objectName());
                    break;
                }
        }
        if (!name.trimmed().isEmpty()) w->setAccessibleName(name.trimmed());
    }
}

void PressButtonsWithEnter(QWidget* window) {
    auto* filter = new EnterPresses(window);
    for (QPushButton* b : window->findChildren<QPushButton*>()) b->installEventFilter(filter);
}

SpinButton::SpinButton(const QString& objectName, QWidget* parent) : QWidget(parent) {
    setObjectName(objectName);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setObjectName(QStringLiteral("Up"));
    down_->setObjectName(QStringLiteral("Down"));
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::StrongFocus);  // clicking puts the focus in the group
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        b->setIconSize(QSize(8, 6));
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, &SpinButton::upClicked);
    connect(down_, &QToolButton::clicked, this, &SpinButton::downClicked);
}

SpinEdit::SpinEdit(const QString& objectName, int minimum, int maximum, int step, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum), step_(step) {
    setObjectName(objectName);
    lineEdit()->setText(QString::number(minimum));
    connect(lineEdit(), &QLineEdit::textChanged, this, &SpinEdit::changed);
}

int SpinEdit::clamp(long long value) const {
    return static_cast<int>(std::clamp<long long>(value, minimum_, maximum_));
}

int SpinEdit::value() const {
    bool ok = false;
    const qlonglong typed = text().trimmed().toLongLong(&ok);
    return ok ? static_cast<int>(std::clamp<qlonglong>(typed, INT_MIN, INT_MAX)) : minimum_;
}

void SpinEdit::setValue(int value) {
    const QString text = QString::number(clamp(value));
    if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void SpinEdit::setLimits(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
}

void SpinEdit::setMaxLength(int characters) {
    lineEdit()->setMaxLength(characters);
}

void SpinEdit::setTypingAllowed(bool allowed) {
    lineEdit()->setReadOnly(!allowed);
    // A field that takes no typing does not look like one: the ground of the page around it
    // and no text cursor; its arrows and the Up and Down keys change it.
    QPalette p = lineEdit()->palette();
    p.setColor(QPalette::Base,
               allowed ? palette().color(QPalette::Base) : palette().color(QPalette::Window));
    lineEdit()->setPalette(p);
    lineEdit()->setCursor(allowed ? Qt::IBeamCursor : Qt::ArrowCursor);
}

void SpinEdit::stepBy(int steps) {
    setValue(clamp(static_cast<long long>(value()) + 1LL * steps * step_));
}

QValidator::State SpinEdit::validate(QString& input, int&) const {
    static const QRegularExpression number(QStringLiteral("^[-+]?[0-9]*$"));
    return number.match(input).hasMatch() ? QValidator::Acceptable : QValidator::Invalid;
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    StepEnabled enabled = StepNone;
    if (value() < maximum_) enabled |= StepUpEnabled;
    if (value() > minimum_) enabled |= StepDownEnabled;
    return enabled;
}

void SpinEdit::focusOutEvent(QFocusEvent* event) {
    if (!keepsTyped_) setValue(clamp(value()));
    QAbstractSpinBox::focusOutEvent(event);
}

FocusWatcher::FocusWatcher(QWidget* group) : QObject(group), group_(group) {
    connect(qApp, &QApplication::focusChanged, this, &FocusWatcher::focusChanged);
}

void FocusWatcher::focusChanged(QWidget* old, QWidget* now) {
    const bool wasInside = old && (old == group_ || group_->isAncestorOf(old));
    const bool isInside = now && (now == group_ || group_->isAncestorOf(now));
    if (wasInside && !isInside && now) emit exited();
    if (!wasInside && isInside) emit entered();
}

bool EmptySpinBecomesZero(SpinEdit* spin) {
    if (!spin->text().isEmpty()) return false;
    spin->setValue(0);
    return true;
}

}  // namespace ksr::ui
