// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the About dialog and the wizard's dialogs share: the frame, the fixed-pitch size,
// controls at fixed positions, and handlers run inside the event guard.

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

class QDialog;
class QKeyEvent;
class QLabel;
class QPushButton;
class QWidget;

namespace dialogs {

class TWizardFlow;

// The caption of the wizard's dialogs.
inline constexpr const char* kWizardCaption = "Tessaro";
// Character height of the fixed-pitch texts.
inline constexpr int kFixedFontPixelSize = 16;
// Width of a character of the fixed-pitch face the dialogs were laid out in.
inline constexpr int kFixedCellWidth = 8;

// `font` made narrower, where it is wider, until every line of `text` fits in `width`
// pixels; its height stays.
QFont NarrowedToFit(QFont font, const QString& text, int width);
// The fixed-pitch face with the character cell the dialogs were laid out for: 16 pixels
// high, 8 wide.
QFont FixedCellFont(const TWizardFlow& flow);

// Caption, fixed client size, a single border with only the close box, always on top.
void ApplyDialogFrame(QDialog& dialog, const QString& caption, QSize clientSize);

// A label whose lines are set when its dialog is shown: fixed bounds, no automatic sizing,
// lines broken at the line feeds only, its face narrowed where a line would be cut.
void SetFixedBoundsText(QLabel& label, const QRect& bounds, const QString& text);

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QPoint position);

// Runs a handler inside the event guard: an error it raises is shown in the standard error
// box and the handler's remaining steps are skipped.
void RunGuarded(TWizardFlow& flow, const std::function<void()>& handler);

// The toolkit's dialogs close on Esc; ours answer it only where a button says so. True
// (the key taken and nothing done) for Esc.
bool IgnoresEscape(QKeyEvent& event);

// Connects a button's click to a guarded handler.
void OnClick(QPushButton* button, TWizardFlow& flow, std::function<void()> handler);

} // namespace dialogs
