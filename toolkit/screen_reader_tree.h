// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What screen readers are shown of the windows: each thing once, by one name. A caption
// whose control carries the caption's name itself is left out, so the row reads once.

#include <QAccessible>
#include <QGroupBox>

class QAccessibleInterface;
class QWidget;

namespace toolkit {

// Leaves `widget` (and all it holds) out of what screen readers are shown; its parent must
// list its children through ListedChildrenAccessible (a TRowFrame does).
void KeepFromScreenReaders(QWidget& widget);

// An accessible interface of `widget` in `role` that lists its children but those kept
// from screen readers.
QAccessibleInterface* ListedChildrenAccessible(QWidget& widget, QAccessible::Role role);

// A frame of rows whose captions may be kept from screen readers. It reads as a group named
// by its accessible name, or else by its caption.
class TRowFrame : public QGroupBox {
    Q_OBJECT

public:
    explicit TRowFrame(QWidget* parent);
    TRowFrame(const QString& title, QWidget* parent);
};

} // namespace toolkit
