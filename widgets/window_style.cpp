#include "widgets/window_style.hpp"

#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

namespace corvane {

QFont WindowFont() {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!QFontDatabase::families().contains(QStringLiteral("Consolas"))) return fixed;
    QFont consolas(QStringLiteral("Consolas"));
    if (fixed.pointSizeF() > 0) consolas.setPointSizeF(fixed.pointSizeF());
    return consolas;
}

void ApplyWindowStyle(QWidget* window) {
    if (!window) return;
    QPalette p = window->palette();
    p.setColor(QPalette::Window, QColor(kWindowBackColor));
    window->setPalette(p);
    window->setAutoFillBackground(true);
    window->setFont(WindowFont());
}

void SetBackColor(QWidget* control, const QColor& color) {
    if (!control) return;
    QPalette p = control->palette();
    // Buttons paint with Button, labels and frames with Window.
    p.setColor(QPalette::Window, color);
    p.setColor(QPalette::Button, color);
    control->setPalette(p);
    control->setAutoFillBackground(true);
}

QColor BackColorOf(const QWidget* control) {
    return control ? control->palette().color(QPalette::Window) : QColor();
}

}  // namespace corvane
