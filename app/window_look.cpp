// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_look.h"

#include <QFontDatabase>
#include <QPushButton>
#include <QRawFont>

#include <array>

namespace app {

namespace {

// Fixed-pitch faces with the full-width colon, the preferred first: the package depends on
// the font package of one or the other.
constexpr std::array kCaptionFamilies = {"Noto Sans Mono CJK TC", "WenQuanYi Micro Hei Mono"};
constexpr char32_t kFullWidthColon = 0xFF1A;

// The first candidate installed whose own glyphs include the colon (a face that lacks it
// would borrow it from a fallback face); empty where none is.
QString CaptionFamily() {
    for (const char* candidate : kCaptionFamilies) {
        const QString family = QString::fromLatin1(candidate);
        if (QFontDatabase::hasFamily(family) &&
            QRawFont::fromFont(QFont(family)).supportsCharacter(kFullWidthColon)) {
            return family;
        }
    }
    return {};
}

} // namespace

QFont FixedPitchFont(int pixelSize) {
    static const QString captionFamily = CaptionFamily();
    QFont font = captionFamily.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                         : QFont(captionFamily);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& bounds) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(bounds);
    return button;
}

} // namespace app
