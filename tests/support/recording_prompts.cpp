// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/recording_prompts.h"

namespace testsupport {

std::vector<std::string> TRecordingPrompts::TextsOf(TKind kind) const {
    std::vector<std::string> texts;
    for (const TShown& shown : Shown) {
        if (shown.Kind == kind) {
            texts.push_back(shown.Text);
        }
    }
    return texts;
}

void TRecordingPrompts::Show(TKind kind, const std::string& text) {
    Shown.push_back({kind, text});
    if (WhileOpen && FOpenBoxes == 0) {
        ++FOpenBoxes;
        WhileOpen();
        --FOpenBoxes;
    }
}

void PrintTo(const TRecordingPrompts::TShown& shown, std::ostream* out) {
    static const char* const kKindNames[] = {"MessageBox", "ShowMessage", "ShowException"};
    *out << kKindNames[shown.Kind] << " \"" << shown.Text << '"';
}

} // namespace testsupport
