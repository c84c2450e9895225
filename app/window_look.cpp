// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window_look.h"

#include <QFontDatabase>
#include <QPushButton>

namespace app {

namespace {

constexpr const char* kFixedPitchFamily = "Noto Sans Mono CJK TC";

} // namespace

QFont FixedPitchFont(int pixelSize) {
    QFont font = QFontDatabase::hasFamily(QString::fromLatin1(kFixedPitchFamily))
                     ? QFont(QString::fromLatin1(kFixedPitchFamily))
                     : QFontDatabase::systemFont(QFontDatabase::FixedFont);
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
