// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit/event_guard.h"

#include <cstdio>
#include <exception>

namespace toolkit {

namespace {

// Showing the error must not let a second error escape either.
void ShowSafely(TPrompts& prompts, const std::string& message) {
    try {
        prompts.ShowException(message);
    } catch (...) {
        std::fprintf(stderr, "Unshown error: %s\n", message.c_str());
    }
}

} // namespace

void RunGuarded(TPrompts& prompts, const std::function<void()>& handler) {
    try {
        if (handler) {
            handler();
        }
    } catch (const std::exception& error) {
        ShowSafely(prompts, error.what());
    } catch (...) {
        ShowSafely(prompts, std::string());
    }
}

} // namespace toolkit
