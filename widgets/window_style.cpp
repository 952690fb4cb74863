#include "widgets/window_style.hpp"

#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace corvane {

QFont WindowFont() {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!QFontDatabase::families().contains(QStringLiteral("Consolas"))) return fixed;
    QFont consolas(QStringLiteral("Consolas"));
    if (fixed.pointSizeF() > 0) consolas.setPointSizeF(fixed.pointSizeF());
    return consolas;
}

namespace {

double Linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c) {
    const QColor rgb = c.toRgb();
    return 0.2126 * Linear(rgb.red()) + 0.7152 * Linear(rgb.green()) + 0.0722 * Linear(rgb.blue());
}

QColor Blend(const QColor& from, const QColor& to, double share) {
    const auto mix = [share](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * share)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue()));
}

// Text needs 4.5; a little more keeps rounding from landing below it.
constexpr double kFadedContrast = 4.6;

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor TextColorOn(const QColor& back) {
    const QColor black(Qt::black), white(Qt::white);
    return ContrastRatio(black, back) >= ContrastRatio(white, back) ? black : white;
}

QColor DisabledTextColorOn(const QColor& back) {
    const QColor text = TextColorOn(back);
    // As faded as still reads: a disabled caption must look disabled, and
    // the busy button's progress stays legible while it is disabled.
    for (int step = 10; step > 0; --step) {
        const QColor faded = Blend(text, back, step * 0.05);
        if (ContrastRatio(faded, back) >= kFadedContrast) return faded;
    }
    return text;
}

QPalette WindowPalette() {
    const QColor back = QColor::fromRgb(kWindowBackColor);
    // Built from the two colours alone, so no role is left to the desktop's
    // palette: a dark desktop theme would otherwise put its light text on
    // the light designed colours.
    QPalette p(QColor::fromRgb(kButtonIdleColor), back);
    const QColor faded = DisabledTextColorOn(back);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, faded);
    p.setColor(QPalette::PlaceholderText, faded);
    return p;
}

void ApplyWindowStyle(QWidget* window) {
    if (!window) return;
    window->setPalette(WindowPalette());
    window->setAutoFillBackground(true);
    window->setFont(WindowFont());
}

void SetBackColor(QWidget* control, const QColor& color) {
    if (!control) return;
    QPalette p = control->palette();
    // Buttons paint with Button, labels and frames with Window.
    p.setColor(QPalette::Window, color);
    p.setColor(QPalette::Button, color);
    const QColor text = TextColorOn(color), faded = DisabledTextColorOn(color);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText}) {
        p.setColor(QPalette::Active, role, text);
        p.setColor(QPalette::Inactive, role, text);
        p.setColor(QPalette::Disabled, role, faded);
    }
    control->setPalette(p);
    control->setAutoFillBackground(true);
}

QColor BackColorOf(const QWidget* control) {
    return control ? control->palette().color(QPalette::Window) : QColor();
}

}  // namespace corvane
