// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/journal_format.h"

#include "cli/calibration_format.h"
#include "cli/terminal_text.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace cli {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QJsonObject Pair(double x, double y) {
    return {{"x", x}, {"y", y}};
}

// Values the file does not hold as whole numbers are told as such, never as 0.
std::string Values(const std::optional<session::TScaleValues>& values) {
    return values ? std::to_string(values->X) + "," + std::to_string(values->Y) : "unreadable";
}

QJsonValue PairOf(const std::optional<session::TScaleValues>& values) {
    return values ? QJsonValue(Pair(values->X, values->Y)) : QJsonValue();
}

// A calibration's uncertainty beside its values: " (+/- 0.58 %, 0.72 %)".
std::string UncertaintyText(const session::TJournalBefore& before) {
    if (!before.Calibration) {
        return "";
    }
    return " (+/- " + RoundedText(before.Calibration->UncertaintyPercent.X) + " %, " +
           RoundedText(before.Calibration->UncertaintyPercent.Y) + " %)";
}

// The journal is a file anyone may have edited: what it says is escaped like a cutter's text.
std::string TextLine(int number, const session::TJournalEntry& entry) {
    const session::TJournalBefore& before = entry.Before;
    const std::string model = before.FirmwareModel.empty() ? "-" : before.FirmwareModel;
    return TerminalText(std::to_string(number) + "  " + before.Time + "  " + before.Port + "  " +
                        model + "  " + Values(before.Reading) + " -> " + Values(before.Written) +
                        UncertaintyText(before) + "  " + entry.Outcome()) +
           "\n";
}

std::string JsonLine(int number, const session::TJournalEntry& entry) {
    const session::TJournalBefore& before = entry.Before;
    QJsonObject object{{"entry", number},
                       {"time", Q(before.Time)},
                       {"source", before.Source == session::jsShell ? "shell" : "window"},
                       {"port", Q(before.Port)},
                       {"device_path", Q(before.DevicePath)},
                       {"usb_device_id", before.UsbDeviceId.empty()
                                             ? QJsonValue(QJsonValue::Null)
                                             : QJsonValue(Q(before.UsbDeviceId))},
                       {"firmware_model", Q(before.FirmwareModel)},
                       {"firmware_version", Q(before.FirmwareVersion)},
                       {"before", PairOf(before.Reading)},
                       {"after", PairOf(before.Written)},
                       {"outcome", Q(entry.Outcome())}};
    if (entry.After && entry.After->ReadBack) {
        object.insert("read_back", Pair(entry.After->ReadBack->X, entry.After->ReadBack->Y));
    }
    if (before.TestSizeMm && before.MeasuredMm) {
        object.insert("test_size_mm", Pair(before.TestSizeMm->X, before.TestSizeMm->Y));
        object.insert("measured_mm", Pair(before.MeasuredMm->X, before.MeasuredMm->Y));
    }
    if (before.Calibration) {
        object.insert("calibration", session::CalibrationObject(*before.Calibration));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

} // namespace

bool EntryOfPort(const session::TJournalEntry& entry, const std::string& port) {
    return Q(entry.Before.Port).compare(Q(port), Qt::CaseInsensitive) == 0;
}

std::string FormatHistory(const std::vector<session::TJournalEntry>& entries,
                          const std::string& port, TOutputStyle style) {
    std::string lines;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (!port.empty() && !EntryOfPort(entries[index], port)) {
            continue;
        }
        const int number = static_cast<int>(index) + 1;
        lines +=
            style == osJson ? JsonLine(number, entries[index]) : TextLine(number, entries[index]);
    }
    return lines;
}

} // namespace cli
