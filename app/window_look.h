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

// Registers the fixed-pitch caption face the program carries. Called before the first
// window is made, so no window takes a font change; later calls do nothing.
void LoadCaptionFace();

// The caption face, whose characters include the full-width colon, so the main window's
// captions line up; the system's fixed font where the face could not be read.
QFont FixedPitchFont(int pixelSize);

// `font` with the caption face behind it: the few Chinese characters of the program's own
// texts (the log's prefixes) come from that face instead of a large system face.
QFont WithCaptionFaceFallback(QFont font);

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QRect& bounds);

} // namespace app
