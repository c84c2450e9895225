// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A wizard dialog stated as data: its name, its step, its size and one row per control, in
// the order the controls are made (the order the focus and the screen readers follow).

#include <QRect>
#include <QSize>

#include <cstdint>
#include <span>

class QWidget;

namespace dialogs {

enum TControlKind : std::uint8_t {
    ckLabel,         // a caption at the place's corner, as large as its text
    ckShownText,     // lines set within the place each time the dialog is shown
    ckEdit,          // a field that takes the text typed; read by the caption made before it
    ckButton,        // a button of the standard size at the place's corner
    ckDefaultButton, // the button Enter presses
    ckEscapeButton,  // the button Esc presses; without one Esc does nothing
    ckChoice,        // a radio button without caption of its own
    ckChoiceLabel,   // the caption of the choice made before it; read through the choice alone
    ckFrame,         // a frame with a caption, holding the rows marked InFrame after it
    ckRowFrame,      // a frame without caption, read as one row by screen readers
};

struct TControlRow {
    TControlKind Kind;
    const char* Name;
    const char* Text = ""; // caption, lines or the field's first text
    QRect Place{};
    // What screen readers read a field or a frame as; nothing to leave it as it is.
    const char* AccessibleName = nullptr;
    bool InFrame = false; // in the last frame made before it, else on the dialog
    bool Hidden = false;
};

struct TDialogSheet {
    const char* Name;
    const char* Step; // which step of the wizard the dialog is, for screen readers
    QSize ClientSize;
    std::span<const TControlRow> Controls;
};

// Makes the controls of `rows` on `dialog`, each named by its row.
void BuildControls(QWidget& dialog, std::span<const TControlRow> rows);

// Sets the lines of the ckShownText controls: fixed bounds, lines broken at line feeds only.
void ShowTexts(QWidget& dialog, std::span<const TControlRow> rows);

} // namespace dialogs
