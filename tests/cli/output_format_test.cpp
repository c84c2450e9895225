// SPDX-License-Identifier: GPL-3.0-or-later
// What tessaro-query prints for the values a query read: the panel's captions and texts,
// or JSON with numbers as numbers and switches as booleans, where a value the cutter sent
// that is not a number stays a string.

#include "cli/output_format.h"

#include <gtest/gtest.h>

namespace cli::test {
namespace {

protocol::CutterSettings AnsweredSettings() {
    protocol::CutterSettings settings;
    settings.PollSizeX = "600 mm";
    settings.PollSizeY = " 2.50 mm";
    settings.Force = "80";
    settings.Offset = "0.250 mm";
    settings.MediaWeight = "Light";
    settings.Quality = "Fine";
    settings.Smooth = "Enable";
    settings.AutoUnroll = "Disable";
    settings.MediaType = "Roll";
    settings.FirmwareModel = "TC-60";
    settings.FirmwareVersion = "2.10";
    settings.ScaleX = 1000;
    settings.ScaleY = 998;
    return settings;
}

TEST(QueryOutput, EachQueryPrintsItsValuesAsThePanelShowsThemOrAsJson) {
    const struct {
        TQueryCommand Command;
        const char* Text;
        const char* Json;
    } rows[] = {
        {qcSize, "Poll Size X: 600 mm\nPoll Size Y:  2.50 mm\n",
         R"({"poll_size_x_mm":600,"poll_size_y_mm":2.5,"port":"COM33"})"
         "\n"},
        {qcSettings,
         "Force: 80\nOffset: 0.250 mm\nMedia Weight: Light\nQuality: Fine\nSmooth: Enable\n"
         "Auto Unroll: Disable\nMedia Type: Roll\n",
         R"({"auto_unroll":false,"force":80,"media_type":"Roll","media_weight":"Light",)"
         R"("offset_mm":0.25,"port":"COM33","quality":"Fine","smooth":true})"
         "\n"},
        {qcFirmware, "Model: TC-60\nVersion: 2.10\n",
         R"({"model":"TC-60","port":"COM33","version":"2.10"})"
         "\n"},
        {qcScale, "Scale X: 1000\nScale Y: 998\n",
         R"({"port":"COM33","scale_x":1000,"scale_y":998})"
         "\n"},
    };
    const protocol::CutterSettings settings = AnsweredSettings();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(FormatReply(row.Command, settings, "COM33", osText), row.Text);
        EXPECT_EQ(FormatReply(row.Command, settings, "COM33", osJson), row.Json);
    }
}

// Force is the cutter's text unchanged; 8-bit characters come out as UTF-8.
TEST(QueryOutput, ATextThatIsNoNumberStaysAStringAndPortsHaveANullIdWhenNone) {
    protocol::CutterSettings settings = AnsweredSettings();
    settings.Smooth = "";
    for (const char* notANumber : {"8\xB0", "", "80x", "inf", "0x50", "8 0"}) {
        settings.Force = notANumber;
        const std::string force = session::Latin1ToUtf8(notANumber);
        EXPECT_EQ(FormatMonitorLine(settings, "USB0", osText),
                  "Force: " + force + "; Offset: 0.250 mm; Media Weight: Light; Quality: Fine; " +
                      "Smooth: ; Auto Unroll: Disable; Media Type: Roll\n");
        EXPECT_EQ(FormatMonitorLine(settings, "USB0", osJson),
                  R"({"auto_unroll":false,"force":")" + force +
                      R"(","media_type":"Roll","media_weight":"Light","offset_mm":0.25,)" +
                      R"("port":"USB0","quality":"Fine","smooth":""})" + "\n");
    }
    const std::vector<session::TPortEntry> entries = {
        {"COM33", "", true, "/dev/pts/3", ""},
        {"USB0", "", false, "/dev/usb/lp0", "MDL:TC-60;"},
    };
    EXPECT_EQ(FormatPorts(entries, osText),
              "COM33\t/dev/pts/3\t\nUSB0\t/dev/usb/lp0\tMDL:TC-60;\n");
    EXPECT_EQ(FormatPorts(entries, osJson),
              R"({"ports":[{"device":"/dev/pts/3","name":"COM33","usb_id":null},)"
              R"({"device":"/dev/usb/lp0","name":"USB0","usb_id":"MDL:TC-60;"}]})"
              "\n");
}

} // namespace
} // namespace cli::test
