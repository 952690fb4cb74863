#pragma once
// The fixed look that the three programs share: the colours that report state
// and the window font.
#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace corvane {

inline constexpr QRgb kWindowBackColor = qRgb(190, 200, 210);
inline constexpr QRgb kButtonIdleColor = qRgb(208, 218, 227);
inline constexpr QRgb kButtonBusyColor = qRgb(150, 0, 0);
inline constexpr QRgb kGoodColor = qRgb(200, 255, 200);
inline constexpr QRgb kGoodLightColor = qRgb(225, 255, 225);
inline constexpr QRgb kWarningColor = qRgb(255, 255, 200);
inline constexpr QRgb kWarningDarkColor = qRgb(200, 200, 100);
inline constexpr QRgb kBadLightColor = qRgb(255, 200, 200);
inline constexpr QRgb kBadColor = qRgb(255, 100, 100);
inline constexpr QRgb kBadDarkColor = qRgb(200, 100, 100);

// Consolas when the system has it, else the system's fixed-pitch font.
QFont WindowFont();

// Readability of text in `a` on `b` (or the reverse), from 1 (none) to 21
// (black on white), after the relative luminance of each: 4.5 is the least
// for text of normal size.
double ContrastRatio(const QColor& a, const QColor& b);
// Black or white, whichever reads better on `back`.
QColor TextColorOn(const QColor& back);
// The text of a disabled control on `back`: faded from TextColorOn(back)
// towards the back colour, yet still at a contrast of 4.5.
QColor DisabledTextColorOn(const QColor& back);

// Every colour role for the window back colour and the idle button colour,
// whatever the desktop's palette: dark text on the light designed colours.
QPalette WindowPalette();

// The window palette and the window font, inherited by every control that
// does not set its own.
void ApplyWindowStyle(QWidget* window);

// The back colour of one control (label, button, check box, frame): painted
// by the control itself, whatever its parent shows, with its text in the
// colour that reads on it, enabled or not.
void SetBackColor(QWidget* control, const QColor& color);
QColor BackColorOf(const QWidget* control);

}  // namespace corvane
