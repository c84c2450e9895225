// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/screen_reader_tree.h"

#include <QAccessibleWidget>
#include <QVariant>

#include <algorithm>
#include <vector>

namespace toolkit {

namespace {

constexpr const char* kKeptFromScreenReaders = "tessaroKeptFromScreenReaders";

class TListedChildrenAccessible : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;

    int childCount() const override { return static_cast<int>(Listed().size()); }

    QAccessibleInterface* child(int index) const override {
        const std::vector<QAccessibleInterface*> listed = Listed();
        const auto position = static_cast<std::size_t>(index);
        return index >= 0 && position < listed.size() ? listed[position] : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        const std::vector<QAccessibleInterface*> listed = Listed();
        const auto found = std::find_if(listed.begin(), listed.end(), [child](auto* listedChild) {
            return listedChild->object() == child->object();
        });
        return found == listed.end() ? -1 : static_cast<int>(found - listed.begin());
    }

    // A frame without an accessible name of its own reads as its caption.
    QString text(QAccessible::Text kind) const override {
        const auto* frame = qobject_cast<const QGroupBox*>(widget());
        if (kind == QAccessible::Name && frame != nullptr && widget()->accessibleName().isEmpty()) {
            return frame->title();
        }
        return QAccessibleWidget::text(kind);
    }

private:
    std::vector<QAccessibleInterface*> Listed() const {
        std::vector<QAccessibleInterface*> listed;
        for (int index = 0; index < QAccessibleWidget::childCount(); ++index) {
            QAccessibleInterface* child = QAccessibleWidget::child(index);
            if (child != nullptr && !child->object()->property(kKeptFromScreenReaders).toBool()) {
                listed.push_back(child);
            }
        }
        return listed;
    }
};

QAccessibleInterface* RowFrameAccessible(const QString& /*className*/, QObject* object) {
    auto* frame = qobject_cast<TRowFrame*>(object);
    return frame != nullptr ? ListedChildrenAccessible(*frame, QAccessible::Grouping) : nullptr;
}

} // namespace

void KeepFromScreenReaders(QWidget& widget) {
    widget.setProperty(kKeptFromScreenReaders, true);
}

QAccessibleInterface* ListedChildrenAccessible(QWidget& widget, QAccessible::Role role) {
    return new TListedChildrenAccessible(&widget, role);
}

// The frame's interface is made by its own factory, installed before any frame can be asked
// for one (Qt installs each factory once).
TRowFrame::TRowFrame(QWidget* parent) : TRowFrame(QString(), parent) {}

TRowFrame::TRowFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
    QAccessible::installFactory(&RowFrameAccessible);
}

} // namespace toolkit
