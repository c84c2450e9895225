// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace toolkit {

// The application title: the caption of the message boxes and of the plain message
// dialog.
inline constexpr const char* kApplicationTitle = "QUIX";

// Every message box the program shows goes through this interface, so tests can record
// them instead of blocking. Texts are UTF-8. Each call is modal: it returns when the
// operator has answered, and the event loop keeps running meanwhile.
class TPrompts {
public:
    virtual ~TPrompts() = default;
    // Message box with caption "QUIX", the exclamation icon and an OK button.
    virtual void MessageBox(const std::string& text) = 0;
    // The toolkit's plain message dialog: the application title as caption, an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // The standard error box for an error that escaped a handler.
    virtual void ShowException(const std::string& message) = 0;
};

} // namespace toolkit
