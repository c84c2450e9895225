// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the main window and the dialogs share of their look: the fixed-pitch face and push
// buttons at fixed bounds.

#include <QFont>
#include <QRect>
#include <QString>

class QPushButton;
class QWidget;

namespace app {

// The first installed of the fixed-pitch faces that show Chinese and have the full-width
// colon, so the main window's captions line up; the system's fixed font where none is.
QFont FixedPitchFont(int pixelSize);

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& bounds);

} // namespace app
