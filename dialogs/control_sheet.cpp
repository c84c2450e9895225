// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/control_sheet.h"

#include "dialogs/dialog_look.h"
#include "toolkit/screen_reader_tree.h"

#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <stdexcept>
#include <string>

namespace dialogs {

namespace {

// An edit whose whole text is selected when the focus comes to it other than by a click,
// so what the operator types replaces the old value instead of being added to it.
class TAutoSelectEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        if (event->reason() != Qt::MouseFocusReason) {
            selectAll();
        }
    }
};

template <typename TControl>
TControl* Named(TControl* control, const char* name) {
    control->setObjectName(name);
    return control;
}

QLabel* MakeLabel(QWidget* parent, const TControlRow& row) {
    auto* const label = Named(new QLabel(row.Text, parent), row.Name);
    label->move(row.Place.topLeft());
    label->adjustSize();
    return label;
}

// The caption a field or a choice is read by: the label made just before it.
QLabel& CaptionBefore(QWidget* previous, const TControlRow& row) {
    auto* const caption = qobject_cast<QLabel*>(previous);
    if (caption == nullptr) {
        throw std::logic_error(std::string(row.Name) + " has no caption before it");
    }
    return *caption;
}

QWidget* Made(QWidget* parent, const TControlRow& row, QWidget* previous) {
    switch (row.Kind) {
    case ckLabel:
        return MakeLabel(parent, row);
    case ckShownText:
        return Named(new QLabel(parent), row.Name);
    case ckEdit: {
        auto* const edit = Named(new TAutoSelectEdit(row.Text, parent), row.Name);
        edit->setGeometry(row.Place);
        // Screen readers read the field by what it takes and learn that the caption labels it.
        if (row.AccessibleName != nullptr) {
            CaptionBefore(previous, row).setBuddy(edit);
            edit->setAccessibleName(row.AccessibleName);
        }
        return edit;
    }
    case ckButton:
    case ckDefaultButton:
    case ckEscapeButton: {
        QPushButton* const button = MakeButton(parent, row.Name, row.Text, row.Place.topLeft());
        if (row.Kind == ckDefaultButton) {
            button->setDefault(true);
        }
        return button;
    }
    case ckChoice: {
        auto* const choice = Named(new QRadioButton(parent), row.Name);
        choice->setGeometry(row.Place);
        return choice;
    }
    case ckChoiceLabel: {
        QLabel* const label = MakeLabel(parent, row);
        label->setBuddy(previous);
        toolkit::KeepFromScreenReaders(*label);
        return label;
    }
    case ckFrame:
    case ckRowFrame: {
        QGroupBox* const frame = row.Kind == ckFrame
                                     ? Named(new QGroupBox(row.Text, parent), row.Name)
                                     : Named(new toolkit::TRowFrame(parent), row.Name);
        if (row.AccessibleName != nullptr) {
            frame->setAccessibleName(row.AccessibleName);
        }
        frame->setGeometry(row.Place);
        return frame;
    }
    }
    throw std::logic_error(std::string(row.Name) + " is of no known kind");
}

} // namespace

void BuildControls(QWidget& dialog, std::span<const TControlRow> rows) {
    QWidget* frame = nullptr;
    QWidget* previous = nullptr;
    for (const TControlRow& row : rows) {
        if (row.InFrame && frame == nullptr) {
            throw std::logic_error(std::string(row.Name) + " has no frame to stand in");
        }
        QWidget* const control = Made(row.InFrame ? frame : &dialog, row, previous);
        if (row.Kind == ckFrame || row.Kind == ckRowFrame) {
            frame = control;
        }
        if (row.Hidden) {
            control->hide();
        }
        previous = control;
    }
}

void ShowTexts(QWidget& dialog, std::span<const TControlRow> rows) {
    for (const TControlRow& row : rows) {
        if (row.Kind == ckShownText) {
            SetFixedBoundsText(*dialog.findChild<QLabel*>(row.Name), row.Place, row.Text);
        }
    }
}

} // namespace dialogs
