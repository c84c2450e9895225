// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output_format.h"

#include "cli/terminal_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <charconv>
#include <cmath>
#include <string_view>

namespace cli {

namespace {

// One value as a line shows it ("Offset: 0.250 mm") and as its JSON key holds it.
struct TValue {
    const char* Caption;
    const char* Key;
    std::string Text;
    QJsonValue Json;
};

QString FromReplyBytes(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A text the cutter sent stays a string unless all of it is a finite number.
QJsonValue NumberOrText(const std::string& text, std::string_view unit = {}) {
    std::string_view number(text);
    if (!unit.empty() && number.ends_with(unit)) {
        number.remove_suffix(unit.size());
    }
    while (!number.empty() && number.front() == ' ') {
        number.remove_prefix(1); // "%5.2f" pads with spaces
    }
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc() || end != number.data() + number.size() ||
        !std::isfinite(value)) {
        return FromReplyBytes(text);
    }
    return value;
}

QJsonValue SwitchOrText(const std::string& text) {
    if (text == "Enable" || text == "Disable") {
        return text == "Enable";
    }
    return FromReplyBytes(text);
}

std::vector<TValue> SizeValues(const protocol::CutterSettings& settings) {
    return {{"Poll Size X", "poll_size_x_mm", settings.PollSizeX,
             NumberOrText(settings.PollSizeX, " mm")},
            {"Poll Size Y", "poll_size_y_mm", settings.PollSizeY,
             NumberOrText(settings.PollSizeY, " mm")}};
}

// In the panel's order.
std::vector<TValue> SettingsValues(const protocol::CutterSettings& settings) {
    return {{"Force", "force", settings.Force, NumberOrText(settings.Force)},
            {"Offset", "offset_mm", settings.Offset, NumberOrText(settings.Offset, " mm")},
            {"Media Weight", "media_weight", settings.MediaWeight,
             FromReplyBytes(settings.MediaWeight)},
            {"Quality", "quality", settings.Quality, FromReplyBytes(settings.Quality)},
            {"Smooth", "smooth", settings.Smooth, SwitchOrText(settings.Smooth)},
            {"Auto Unroll", "auto_unroll", settings.AutoUnroll, SwitchOrText(settings.AutoUnroll)},
            {"Media Type", "media_type", settings.MediaType, FromReplyBytes(settings.MediaType)}};
}

std::vector<TValue> FirmwareValues(const protocol::CutterSettings& settings) {
    return {
        {"Model", "model", settings.FirmwareModel, FromReplyBytes(settings.FirmwareModel)},
        {"Version", "version", settings.FirmwareVersion, FromReplyBytes(settings.FirmwareVersion)},
        {"Version Field", "version_field", settings.FirmwareVersionField,
         FromReplyBytes(settings.FirmwareVersionField)}};
}

std::vector<TValue> ScaleValues(const protocol::CutterSettings& settings) {
    return {{"Scale X", "scale_x", std::to_string(settings.ScaleX), settings.ScaleX},
            {"Scale Y", "scale_y", std::to_string(settings.ScaleY), settings.ScaleY}};
}

std::vector<TValue> ValuesOf(TQueryCommand command, const protocol::CutterSettings& settings) {
    switch (command) {
    case qcSize:
        return SizeValues(settings);
    case qcFirmware:
        return FirmwareValues(settings);
    case qcScale:
        return ScaleValues(settings);
    default:
        return SettingsValues(settings);
    }
}

std::string JsonLine(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

std::string Format(const std::vector<TValue>& values, const std::string& port, TOutputStyle style,
                   std::string_view textSeparator) {
    if (style == osJson) {
        QJsonObject object{{QStringLiteral("port"), QString::fromStdString(port)}};
        for (const TValue& value : values) {
            object.insert(QLatin1String(value.Key), value.Json);
        }
        return JsonLine(object);
    }
    std::string lines;
    for (const TValue& value : values) {
        if (!lines.empty()) {
            lines += textSeparator;
        }
        lines += std::string(value.Caption) + ": " + CutterText(value.Text);
    }
    return lines + "\n";
}

} // namespace

std::string FormatReply(TQueryCommand command, const protocol::CutterSettings& settings,
                        const std::string& port, TOutputStyle style) {
    return Format(ValuesOf(command, settings), port, style, "\n");
}

std::string FormatMonitorLine(const protocol::CutterSettings& settings, const std::string& port,
                              TOutputStyle style) {
    return Format(SettingsValues(settings), port, style, "; ");
}

std::string FormatPorts(const std::vector<session::TPortEntry>& entries, TOutputStyle style) {
    if (style == osJson) {
        QJsonArray ports;
        for (const session::TPortEntry& entry : entries) {
            ports.append(QJsonObject{
                {QStringLiteral("name"), QString::fromStdString(entry.Name)},
                {QStringLiteral("device"), QString::fromStdString(entry.DevicePath)},
                {QStringLiteral("usb_id"),
                 entry.UsbDeviceId.empty() ? QJsonValue(QJsonValue::Null)
                                           : QJsonValue(QString::fromStdString(entry.UsbDeviceId))},
            });
        }
        return JsonLine(QJsonObject{{QStringLiteral("ports"), ports}});
    }
    std::string lines;
    for (const session::TPortEntry& entry : entries) {
        lines += TerminalText(entry.Name) + '\t' + TerminalText(entry.DevicePath) + '\t' +
                 TerminalText(entry.UsbDeviceId) + '\n';
    }
    return lines;
}

} // namespace cli
