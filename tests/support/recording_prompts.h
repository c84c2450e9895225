// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Prompts that record what the program would show instead of showing it. A test can run
// code while a box is "open", as the event loop does under a real modal box.

#include "toolkit/prompts.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace testsupport {

class TRecordingPrompts : public toolkit::TPrompts {
public:
    enum TKind { pkMessageBox, pkShowMessage, pkException };
    struct TShown {
        TKind Kind;
        std::string Text;
        bool operator==(const TShown&) const = default;
    };

    void MessageBox(const std::string& text) override { Show(pkMessageBox, text); }
    void ShowMessage(const std::string& text) override { Show(pkShowMessage, text); }
    void ShowException(const std::string& message) override { Show(pkException, message); }

    std::vector<std::string> TextsOf(TKind kind) const;

    std::vector<TShown> Shown;
    // Runs while a box is open (not for boxes opened meanwhile).
    std::function<void()> WhileOpen;

private:
    void Show(TKind kind, const std::string& text);

    int FOpenBoxes = 0;
};

// For failure messages: the kind by its prompt's name, then the text.
void PrintTo(const TRecordingPrompts::TShown& shown, std::ostream* out);

} // namespace testsupport
