// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_look.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QPushButton>
#include <QStringList>

namespace app {

namespace {

// Made at build time from WenQuanYi Micro Hei Mono (app/CMakeLists.txt).
constexpr const char* kCaptionFaceResource = ":/fonts/caption-face.ttf";

// The family of the caption face, registered on the first call; empty where it could not
// be read.
const QString& CaptionFamily() {
    static const QString family = [] {
        const QStringList families = QFontDatabase::applicationFontFamilies(
            QFontDatabase::addApplicationFont(QString::fromLatin1(kCaptionFaceResource)));
        return families.isEmpty() ? QString() : families.front();
    }();
    return family;
}

} // namespace

void LoadCaptionFace() {
    CaptionFamily();
}

QFont FixedPitchFont(int pixelSize) {
    QFont font = CaptionFamily().isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                           : QFont(CaptionFamily());
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

QFont WithCaptionFaceFallback(QFont font) {
    // The face the font stands for, by its own name: behind a generic name such as "Sans
    // Serif", which names no installed face, the caption face would come first.
    if (!CaptionFamily().isEmpty()) {
        font.setFamilies({QFontInfo(font).family(), CaptionFamily()});
    }
    return font;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& bounds) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(bounds);
    return button;
}

} // namespace app
