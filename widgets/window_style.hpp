#pragma once
// The fixed look that the three programs share: the colours that report state
// and the window font.
#include <QColor>
#include <QFont>

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

// The window back colour and the window font, inherited by every control
// that does not set its own.
void ApplyWindowStyle(QWidget* window);

// The back colour of one control (label, button, frame): painted by the
// control itself, whatever its parent shows.
void SetBackColor(QWidget* control, const QColor& color);
QColor BackColorOf(const QWidget* control);

}  // namespace corvane
