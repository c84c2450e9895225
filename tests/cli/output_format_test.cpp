// SPDX-License-Identifier: GPL-3.0-or-later
// What tessaro-query prints of values no cutter in the end-to-end runs sends: a padded
// number, texts that are no number (Force is the cutter's text unchanged), a switch that is
// neither on nor off, 8-bit characters (written as UTF-8), and a port with a USB device ID.

#include "cli/output_format.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <gtest/gtest.h>

#include <string>

namespace cli::test {
namespace {

// One value the cutter sent, the others left unset: the line that shows it and what its JSON
// key holds, a number only when all of the text is one.
TEST(QueryOutput, AValueIsANumberInJsonOnlyWhenAllOfItsTextIsOne) {
    const struct {
        TQueryCommand Command; // qcMonitor: the monitor's line
        std::string protocol::CutterSettings::*Field;
        const char* Sent;
        const char* Line;
        const char* Key;
        QJsonValue Json;
    } rows[] = {
        {qcSize, &protocol::CutterSettings::PollSizeY, " 2.50 mm", "Poll Size Y:  2.50 mm",
         "poll_size_y_mm", 2.5},
        {qcMonitor, &protocol::CutterSettings::Force, "8\xB0", "Force: 8\u00B0;", "force",
         "8\u00B0"},
        {qcSettings, &protocol::CutterSettings::Force, "", "Force: \n", "force", ""},
        {qcMonitor, &protocol::CutterSettings::Force, "80x", "Force: 80x;", "force", "80x"},
        {qcSettings, &protocol::CutterSettings::Force, "inf", "Force: inf\n", "force", "inf"},
        {qcMonitor, &protocol::CutterSettings::Force, "0x50", "Force: 0x50;", "force", "0x50"},
        {qcSettings, &protocol::CutterSettings::Force, "8 0", "Force: 8 0\n", "force", "8 0"},
        {qcMonitor, &protocol::CutterSettings::Smooth, "", "; Smooth: ;", "smooth", ""},
        // Control bytes, DEL and C1 shown as \xNN on a terminal; JSON escapes its own way.
        {qcFirmware, &protocol::CutterSettings::FirmwareModel, "TX\x1B[2J\r\x7F\x9B\xE9",
         "Model: TX\\x1B[2J\\r\\x7F\\x9B\u00E9\n", "model", "TX\u001B[2J\r\u007F\u009B\u00E9"},
        {qcFirmware, &protocol::CutterSettings::FirmwareVersionField, "2.10 0305\n",
         "Version Field: 2.10 0305\\x0A\n", "version_field", "2.10 0305\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Line);
        protocol::CutterSettings settings;
        settings.*row.Field = row.Sent;
        const auto shown = [&](TOutputStyle style) {
            return row.Command == qcMonitor ? FormatMonitorLine(settings, "USB0", style)
                                            : FormatReply(row.Command, settings, "USB0", style);
        };
        EXPECT_NE(shown(osText).find(row.Line), std::string::npos) << shown(osText);
        const std::string json = shown(osJson);
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(json))
                      .object()
                      .value(QLatin1String(row.Key)),
                  row.Json)
            << json;
    }
}

// Each axis's value under its own key.
TEST(QueryOutput, EachScaleValueIsItsOwnAxis) {
    protocol::CutterSettings settings;
    settings.ScaleX = 1012;
    settings.ScaleY = 996;
    EXPECT_EQ(FormatReply(qcScale, settings, "COM1", osJson),
              "{\"port\":\"COM1\",\"scale_x\":1012,\"scale_y\":996}\n");
}

TEST(QueryOutput, APortWithoutAUsbDeviceIdHasANullOne) {
    const std::vector<session::TPortEntry> entries = {
        {"COM33", true, "/dev/pts/3", ""},
        {"USB0", false, "/dev/usb/lp0", "MDL:TC-60;"},
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
