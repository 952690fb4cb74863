#pragma once
// Whether every text a window shows reads on what it is drawn on, and a dark
// desktop palette to try that under.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QString>
#include <QWidget>

#include "widgets/window_style.hpp"

namespace corvane::testing {

// What a dark desktop theme hands every program: dark backs, light texts.
inline QPalette DarkDesktopPalette() {
    QPalette p;
    const QColor back(45, 45, 48), base(30, 30, 30), text(232, 232, 232), dimmed(110, 110, 110);
    p.setColor(QPalette::Window, back);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, back);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(60, 60, 64));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, QColor(80, 80, 84));
    p.setColor(QPalette::Midlight, QColor(70, 70, 74));
    p.setColor(QPalette::Mid, QColor(40, 40, 42));
    p.setColor(QPalette::Dark, QColor(25, 25, 26));
    p.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, dimmed);
    return p;
}

// The application runs under the dark palette while this lives.
class DarkDesktop {
public:
    DarkDesktop() : saved_(QApplication::palette()) { QApplication::setPalette(DarkDesktopPalette()); }
    ~DarkDesktop() { QApplication::setPalette(saved_); }
    DarkDesktop(const DarkDesktop&) = delete;
    DarkDesktop& operator=(const DarkDesktop&) = delete;

private:
    QPalette saved_;
};

// What a text is drawn on when its control paints no back of its own: the
// nearest control that does, else the window.
inline QColor BackBehind(const QWidget* w, QPalette::ColorGroup group) {
    while (w && !w->isWindow() && !w->autoFillBackground()) w = w->parentWidget();
    return w ? w->palette().color(group, QPalette::Window) : QColor();
}

// The text and back colour roles of a control that shows text; false for a
// control that shows none of its own.
inline bool TextRoles(const QWidget* w, QPalette::ColorRole& text, QPalette::ColorRole& back) {
    const auto* combo = qobject_cast<const QComboBox*>(w);
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
        qobject_cast<const QAbstractScrollArea*>(w) || (combo && combo->isEditable())) {
        text = QPalette::Text;
        back = QPalette::Base;
    } else if (combo || (qobject_cast<const QAbstractButton*>(w) && w->inherits("QPushButton"))) {
        text = QPalette::ButtonText;
        back = QPalette::Button;
    } else if (qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QGroupBox*>(w)) {
        text = QPalette::WindowText;
        back = QPalette::NoRole;
    } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->text().isEmpty() && !label->pixmap().isNull()) return false;
        text = QPalette::WindowText;
        back = QPalette::NoRole;
    } else {
        return false;
    }
    return true;
}

// Every control of `window` shown with it whose text reads worse than
// `least` on its back, enabled or not, one per line; empty when all read.
inline QString UnreadableTexts(QWidget* window, double least = 4.5) {
    QString found;
    QList<QWidget*> controls = window->findChildren<QWidget*>();
    controls.prepend(window);
    for (QWidget* w : controls) {
        if (!w->isVisibleTo(window) && w != window) continue;
        w->ensurePolished();
        QPalette::ColorRole textRole, backRole;
        if (!TextRoles(w, textRole, backRole)) continue;
        QList<QPalette::ColorGroup> groups{QPalette::Disabled};
        if (w->isEnabled()) groups = {QPalette::Active, QPalette::Inactive};
        for (QPalette::ColorGroup g : groups) {
            const QColor text = w->palette().color(g, textRole);
            const QColor back = backRole == QPalette::NoRole ? BackBehind(w, g) : w->palette().color(g, backRole);
            const double ratio = ContrastRatio(text, back);
            if (ratio >= least) continue;
            found += QStringLiteral("%1 %2 (%3): %4 on %5, %6:1\n")
                         .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                              w->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled"),
                              text.name(), back.name())
                         .arg(ratio, 0, 'f', 2);
            break;
        }
    }
    return found;
}

// A button's text against its back each time it takes the busy colour:
// a run disables it and turns it dark red, both to be watched.
class BusyButtonWatch : public QObject {
public:
    explicit BusyButtonWatch(QWidget* button) : button_(button) { button->installEventFilter(this); }
    int busyLooks = 0;
    int disabledBusyLooks = 0;
    QString faults;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const auto type = event->type();
        if (type != QEvent::PaletteChange && type != QEvent::EnabledChange) return false;
        if (BackColorOf(button_) != QColor::fromRgb(kButtonBusyColor)) return false;
        ++busyLooks;
        if (!button_->isEnabled()) ++disabledBusyLooks;
        faults += UnreadableTexts(button_);
        return false;
    }

private:
    QWidget* button_;
};

}  // namespace corvane::testing
