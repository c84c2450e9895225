// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <algorithm>
#include <array>

namespace app {

namespace {

// The options QGuiApplication, QApplication and the X11 platform take, as Qt documents
// them; Qt reads each with one dash or two.
constexpr std::array<std::string_view, 12> kQtOptionsWithValue = {
    "-display",       "-geometry", "-platform",        "-platformpluginpath",
    "-platformtheme", "-plugin",   "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle",  "-session",  "-style",           "-stylesheet",
};
constexpr std::array<std::string_view, 2> kQtFlags = {"-reverse", "-widgetcount"};
// Options Qt also takes as one argument, the value after "=".
constexpr std::array<std::string_view, 3> kQtOptionsWithEquals = {
    "-qmljsdebugger=", "-style=", "-stylesheet="};

bool Contains(std::span<const std::string_view> options, std::string_view option) {
    return std::find(options.begin(), options.end(), option) != options.end();
}

bool HasEqualsForm(std::string_view option) {
    return std::any_of(kQtOptionsWithEquals.begin(), kQtOptionsWithEquals.end(),
                       [option](std::string_view prefix) { return option.starts_with(prefix); });
}

TCommandLine Refuse(std::string text) {
    return {caRefuse, "tessaro: " + std::move(text)};
}

} // namespace

TCommandLine ReadCommandLine(std::span<const std::string_view> arguments) {
    bool help = false;
    bool version = false;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string_view argument = arguments[index];
        help = help || argument == "--help" || argument == "-h";
        version = version || argument == "--version";
        const std::string_view option = argument.starts_with("--") ? argument.substr(1) : argument;
        if (argument == "--help" || argument == "-h" || argument == "--version" ||
            Contains(kQtFlags, option) || HasEqualsForm(option)) {
            continue;
        }
        if (!Contains(kQtOptionsWithValue, option)) {
            return Refuse("unknown argument '" + std::string(argument) +
                          "' (only --help, --version and Qt's own options)");
        }
        if (++index == arguments.size()) {
            return Refuse("option '" + std::string(argument) + "' needs a value");
        }
    }
    if (help) {
        return {caHelp, {}};
    }
    return {version ? caVersion : caRun, {}};
}

} // namespace app
