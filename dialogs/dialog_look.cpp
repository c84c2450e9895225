// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/dialog_look.h"

#include "dialogs/wizard_flow.h"
#include "toolkit/event_guard.h"

#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace dialogs {

namespace {

constexpr QSize kButtonSize{75, 25};
// Narrower than this a face is no longer read at a glance.
constexpr int kNarrowestStretch = 60;

int WidestLine(const QFont& font, const QString& text) {
    return QFontMetrics(font).boundingRect(QRect(), Qt::TextShowMnemonic, text).width();
}

} // namespace

void ApplyDialogFrame(QDialog& dialog, const QString& caption, QSize clientSize) {
    dialog.setWindowTitle(caption);
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint);
    dialog.setFixedSize(clientSize);
}

QFont NarrowedToFit(QFont font, const QString& text, int width) {
    const int widest = WidestLine(font, text);
    if (widest <= width || widest == 0) {
        return font;
    }
    // The face's own advances are rounded to whole pixels, so the first guess may miss.
    for (int stretch = std::max(100 * width / widest, kNarrowestStretch);
         stretch >= kNarrowestStretch; --stretch) {
        font.setStretch(stretch);
        if (WidestLine(font, text) <= width) {
            break;
        }
    }
    return font;
}

QFont FixedCellFont(const TWizardFlow& flow) {
    return NarrowedToFit(flow.FixedPitchFont(kFixedFontPixelSize), QStringLiteral("0"),
                         kFixedCellWidth);
}

void SetFixedBoundsText(QLabel& label, const QRect& bounds, const QString& text) {
    label.setFont(NarrowedToFit(label.font(), text, bounds.width()));
    label.setWordWrap(false);
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label.setGeometry(bounds);
    label.setFixedSize(bounds.size());
    label.setText(text);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        QPoint position) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(QRect(position, kButtonSize));
    return button;
}

bool IgnoresEscape(QKeyEvent& event) {
    if (!event.matches(QKeySequence::Cancel)) {
        return false;
    }
    event.accept();
    return true;
}

void RunGuarded(TWizardFlow& flow, const std::function<void()>& handler) {
    toolkit::RunGuarded(flow.Prompts(), handler);
}

void OnClick(QPushButton* button, TWizardFlow& flow, std::function<void()> handler) {
    QObject::connect(button, &QPushButton::clicked, button,
                     [&flow, handler = std::move(handler)] { RunGuarded(flow, handler); });
}

} // namespace dialogs
