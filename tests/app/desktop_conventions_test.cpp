// SPDX-License-Identifier: GPL-3.0-or-later
// What a Linux desktop expects of a program: Qt's own command-line options taken as Qt
// takes them, and windows opened inside the screen.

#include "app/command_line.h"
#include "app/design_position.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace app::test {
namespace {

TEST(CommandLine, QtOwnOptionsAskForTheWindowAndAnythingElseIsRefused) {
    const std::string unknown = "' (only --help, --version and Qt's own options)";
    const struct {
        std::vector<std::string_view> Arguments;
        TCommandLineAction Action;
        std::string Refusal;
    } cases[] = {
        {{}, caRun, ""},
        {{"-platform", "xcb"}, caRun, ""},
        {{"--platform", "wayland", "-style", "Fusion", "-display", ":1"}, caRun, ""},
        {{"-style=Fusion", "-reverse", "-qwindowgeometry", "300x200+0+0"}, caRun, ""},
        // Qt takes the word after -style as the style's name, whatever it is.
        {{"-style", "--help"}, caRun, ""},
        {{"-platform", "offscreen", "--version"}, caVersion, ""},
        {{"--version", "-h"}, caHelp, ""},
        {{"-platform"}, caRefuse, "tessaro: option '-platform' needs a value"},
        {{"-x"}, caRefuse, "tessaro: unknown argument '-x" + unknown},
        {{"-platform", "xcb", "COM3"}, caRefuse, "tessaro: unknown argument 'COM3" + unknown},
        {{"--version=2"}, caRefuse, "tessaro: unknown argument '--version=2" + unknown},
        // Qt reads no "=" after -platform.
        {{"-platform=xcb"}, caRefuse, "tessaro: unknown argument '-platform=xcb" + unknown},
    };
    for (const auto& [arguments, action, refusal] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const TCommandLine read = ReadCommandLine(arguments);
        EXPECT_EQ(read.Action, action);
        EXPECT_EQ(read.Refusal, refusal);
    }
}

TEST(DesignPosition, KeptWhereTheWindowFitsElseMovedJustInside) {
    const QRect scaledTwice{0, 0, 512, 384}; // 1024 x 768 at QT_SCALE_FACTOR=2
    const QRect belowAPanel{0, 30, 1024, 738};
    const struct {
        QRect Available;
        QPoint Design;
        QSize Size;
        QPoint Placed;
    } cases[] = {
        {scaledTwice, {285, 300}, {289, 223}, {223, 161}},
        {scaledTwice, {254, 243}, {368, 288}, {144, 96}},
        {{0, 0, 1024, 768}, {285, 300}, {289, 223}, {285, 300}},
        {{0, 0, 1024, 768}, {735, 545}, {289, 223}, {735, 545}},
        {{0, 0, 1024, 768}, {800, 100}, {289, 223}, {735, 100}},
        {belowAPanel, {100, 0}, {289, 223}, {100, 30}},
        {scaledTwice, {-50, -20}, {100, 100}, {0, 0}},
        {{1024, 0, 800, 600}, {1700, 20}, {289, 223}, {1535, 20}},
        // Larger than the area: its top left stays in view.
        {{0, 0, 300, 200}, {10, 10}, {368, 288}, {0, 0}},
    };
    for (const auto& [available, design, size, placed] : cases) {
        EXPECT_EQ(PlaceInside(available, design, size), placed)
            << "design " << design.x() << "," << design.y() << " size " << size.width() << "x"
            << size.height();
    }
}

} // namespace
} // namespace app::test
