// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design_position.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace app {

namespace {

// Set on a window from its showing until its first exposure.
constexpr const char* kAwaitingFrame = "tessaroAwaitingFrame";

int PlaceOnAxis(int first, int last, int design, int length) {
    return std::max(first, std::min(design, last + 1 - length));
}

// Menus, the port list's popup and tooltips are placed by Qt itself.
bool IsPlacedWindow(const QWindow& window) {
    const Qt::WindowType type = window.type();
    return window.isTopLevel() && (type == Qt::Window || type == Qt::Dialog);
}

bool IsResizable(const QWindow& window) {
    return window.minimumSize() != window.maximumSize();
}

// The available area of the screen that holds the frame's middle.
QRect AvailableAround(const QWindow& window, const QRect& frame) {
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (screen == nullptr) {
        screen = window.screen();
    }
    return screen == nullptr ? frame : screen->availableGeometry();
}

void PlaceFrameInside(QWindow& window) {
    const QRect frame = window.frameGeometry();
    const QRect available = AvailableAround(window, frame);
    const QSize frameMargins = frame.size() - window.size();
    QSize clientSize = window.size();
    if (IsResizable(window)) {
        clientSize =
            clientSize.boundedTo(available.size() - frameMargins).expandedTo(window.minimumSize());
        if (clientSize != window.size()) {
            window.resize(clientSize);
        }
    }
    const QPoint placed = PlaceInside(available, frame.topLeft(), clientSize + frameMargins);
    if (placed != frame.topLeft()) {
        window.setFramePosition(placed);
    }
}

class TFrameKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::Show && type != QEvent::Expose) {
            return false;
        }
        auto* window = qobject_cast<QWindow*>(watched);
        if (window == nullptr || !IsPlacedWindow(*window)) {
            return false;
        }
        if (type == QEvent::Show) {
            window->setProperty(kAwaitingFrame, true);
        } else if (window->isExposed() && window->property(kAwaitingFrame).toBool()) {
            window->setProperty(kAwaitingFrame, false);
            PlaceFrameInside(*window);
        }
        return false;
    }
};

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

void KeepFramesOnScreen(QGuiApplication& application) {
    application.installEventFilter(new TFrameKeeper(&application));
}

} // namespace app
