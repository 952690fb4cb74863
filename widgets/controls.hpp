#pragma once
// Making the windows' controls the one way: each named as the windows name
// it (the object name is what tests and drops find it by), with its caption
// and tooltip; and the conversions between the operations' texts and
// colours and Qt's.
#include <QColor>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class QCheckBox;
class QLabel;
class QPushButton;
class QWidget;

namespace corvane {

// Both ways unit for unit: every UTF-16 unit of a message survives, a
// leading U+FEFF and lone surrogates included.
QString ToQString(std::u16string_view text);
std::u16string ToU16(const QString& text);
// A COLORREF value (red in the low byte) as a Qt colour.
QColor ColourOfRef(uint32_t colorref);

// An image's size as the size labels show it: "600 X 400".
QString SizeCaption(int width, int height);

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption = {}, const QString& tip = {});
// A button on the idle button colour; `toggle` makes it keep its pressed state.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& tip = {},
                        bool toggle = false);
QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption, const QString& tip, bool on);

// True when `widget` is one of `areas` or inside one of them.
bool IsWithin(const QWidget* widget, std::initializer_list<const QWidget*> areas);

}  // namespace corvane
