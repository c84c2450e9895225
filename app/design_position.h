// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Windows open at their design positions, which were chosen for a screen of 96 pixels per
// inch. On a smaller or scaled screen (QT_SCALE_FACTOR=2 on 1024 x 768 leaves 512 x 384)
// such a position can leave most of a window off the screen.

#include <QPoint>
#include <QRect>
#include <QSize>

class QGuiApplication;
class QWidget;

namespace app {

// The position for a window of `size` designed to stand at `design`: the design position
// on each axis where the window fits whole into `available` there, else moved just inside
// it (to its left or top edge when the window is the larger).
QPoint PlaceInside(const QRect& available, QPoint design, QSize size);

// Moves a window not shown yet to its design position, kept inside the available area of
// the screen there (of the primary screen where no screen holds that position).
void MoveToDesignPosition(QWidget& window, QPoint design);

// From now on every window and dialog the application shows is placed once more when it
// is first exposed after each showing, by its frame: a window manager frames a window
// only once it is mapped, so only then is its whole size known. A frame that fits where it
// stands stays; one that does not is moved just inside the screen's available area, and a
// resizable window larger than that area is made smaller first.
void KeepFramesOnScreen(QGuiApplication& application);

} // namespace app
