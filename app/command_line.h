// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What tessaro's command line asks for, read before any display is opened: the window,
// --help or --version, or a refusal. Qt's own options (-platform xcb, -style Fusion,
// -display :1, ...) are the toolkit's, and ask for the window.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace app {

enum TCommandLineAction : std::uint8_t { caRun, caHelp, caVersion, caRefuse };

struct TCommandLine {
    TCommandLineAction Action = caRun;
    std::string Refusal; // one line for standard error, when refused
};

// `arguments` without the program's name. --help (or -h) wins over --version.
TCommandLine ReadCommandLine(std::span<const std::string_view> arguments);

} // namespace app
