#include "widgets/controls.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "core/pixel_grid.hpp"
#include "widgets/window_style.hpp"

namespace corvane {

QString ToQString(std::u16string_view text) {
    // Unit for unit: QString::fromUtf16 would take a leading U+FEFF for a
    // byte order mark and drop it from the message.
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

std::u16string ToU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

QColor ColourOfRef(uint32_t colorref) { return QColor(RedOf(colorref), GreenOf(colorref), BlueOf(colorref)); }

QString SizeCaption(int width, int height) {
    return QString::number(width) + QStringLiteral(" X ") + QString::number(height);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QString& tip) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) label->setToolTip(tip);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& tip, bool toggle) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    if (!tip.isEmpty()) button->setToolTip(tip);
    button->setCheckable(toggle);
    SetBackColor(button, QColor::fromRgb(kButtonIdleColor));
    return button;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption, const QString& tip, bool on) {
    auto* check = new QCheckBox(caption, parent);
    check->setObjectName(QString::fromLatin1(name));
    check->setToolTip(tip);
    check->setChecked(on);
    return check;
}

bool IsWithin(const QWidget* widget, std::initializer_list<const QWidget*> areas) {
    for (const QWidget* w = widget; w; w = w->parentWidget())
        for (const QWidget* area : areas)
            if (w == area) return true;
    return false;
}

}  // namespace corvane
