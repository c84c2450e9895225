// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design_position.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace app {

namespace {

int PlaceOnAxis(int first, int last, int design, int length) {
    return std::max(first, std::min(design, last + 1 - length));
}

} // namespace

QPoint PlaceInside(const QRect& available, QPoint design, QSize size) {
    return {PlaceOnAxis(available.left(), available.right(), design.x(), size.width()),
            PlaceOnAxis(available.top(), available.bottom(), design.y(), size.height())};
}

void MoveToDesignPosition(QWidget& window, QPoint design) {
    const QScreen* screen = QGuiApplication::screenAt(design);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    window.move(screen == nullptr ? design
                                  : PlaceInside(screen->availableGeometry(), design,
                                                window.frameGeometry().size()));
}

} // namespace app
