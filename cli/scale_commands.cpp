// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/scale_commands.h"

#include "cli/journal_format.h"
#include "cli/output_format.h"
#include "cli/query_run.h"
#include "cli/terminal_text.h"
#include "protocol/commands.h"

#include <QTimer>

#include <exception>
#include <utility>

namespace cli {

namespace {

using session::TScaleSaveOutcome;
using session::TScaleValues;

std::string ValuesText(const TScaleValues& values) {
    return std::to_string(values.X) + "," + std::to_string(values.Y);
}

TScaleValues ReadingOf(const protocol::CutterSettings& settings) {
    return {settings.ScaleX, settings.ScaleY};
}

bool SameValues(const TScaleValues& first, const TScaleValues& second) {
    return first.X == second.X && first.Y == second.Y;
}

// Why a save that ended otherwise than saved wrote nothing, or what its write left.
std::string FailureText(const TScaleSaveOutcome& outcome, const std::string& linkCause) {
    const std::string because = linkCause.empty() ? "" : " (" + linkCause + ")";
    switch (outcome.Result) {
    case session::srReadBackDiffers:
        return "read-back differs: wrote " + ValuesText(outcome.Written) + ", the cutter reports " +
               ValuesText(outcome.Reported);
    case session::srReadBackMissing:
        return "read-back missing: wrote " + ValuesText(outcome.Written) +
               ", no reading came back" + because;
    case session::srReadingsDiffer:
        return "the two readings differ ('" + outcome.FirstReading + "', then '" +
               outcome.SecondReading + "'): nothing written";
    case session::srScaleRefused:
        return outcome.Reason + ": nothing written";
    default:
        return session::OutcomeName(outcome.Result) + ": nothing written" + because;
    }
}

// A cutter as the journal names it: "TC-60 2.10 on /dev/ttyUSB0".
std::string CutterText(const std::string& model, const std::string& version,
                       const std::string& devicePath, const std::string& usbDeviceId) {
    std::string text = model.empty() ? "a cutter that gave no model" : model + " " + version;
    if (!devicePath.empty()) {
        text += " on " + devicePath;
    } else if (!usbDeviceId.empty()) {
        text += " with USB ID " + usbDeviceId;
    }
    return text;
}

std::vector<double> Millimetres(const std::vector<double>& units) {
    std::vector<double> lengths;
    for (const double length : units) {
        lengths.push_back(length / protocol::kUnitsPerMillimetre);
    }
    return lengths;
}

session::TCalibrationRecord CalibrationRecord(const protocol::TAxisMeasurement& x,
                                              const protocol::TAxisMeasurement& y,
                                              double resolutionMm,
                                              const protocol::CutterSettings& settings) {
    return {Millimetres(x.ReadingUnits),
            Millimetres(y.ReadingUnits),
            resolutionMm,
            {x.Readings.Expanded.Millimetres, y.Readings.Expanded.Millimetres},
            {x.Readings.Expanded.Percent(), y.Readings.Expanded.Percent()},
            settings.MediaType,
            settings.MediaWeight};
}

} // namespace

TScaleCommands::TScaleCommands(session::TCutterSession& session, TOutput output,
                               const TQueryRequest& request, session::TPortEntry port)
    : FSession(session), FOutput(std::move(output)), FRequest(request), FPort(std::move(port)),
      FJournal(session::DefaultJournalPath()) {}

int TScaleCommands::SetScale() {
    return WriteGuarded([this] { return TDecision(session::TScaleTarget{FRequest.SetScale}); });
}

// The entry asked for, or the last saved one of this port; written back only to the
// cutter that entry wrote to, and only where it still holds what that entry wrote.
int TScaleCommands::Restore() {
    const session::TJournalContents journal = FJournal.Read();
    for (const std::string& warning : journal.Warnings) {
        FOutput.Error("warning: " + warning);
    }
    if (journal.Failure) {
        return Fail(*journal.Failure + ": nothing written");
    }
    std::size_t chosen = journal.Entries.size();
    if (FRequest.Entry) {
        chosen = static_cast<std::size_t>(*FRequest.Entry) - 1;
    } else {
        for (std::size_t index = 0; index < journal.Entries.size(); ++index) {
            const session::TJournalEntry& entry = journal.Entries[index];
            if (EntryOfPort(entry, FPort.Name) && entry.Outcome() == session::kOutcomeSaved) {
                chosen = index;
            }
        }
    }
    if (chosen >= journal.Entries.size()) {
        return Fail(FRequest.Entry ? "the journal has no entry " + std::to_string(*FRequest.Entry)
                                   : "the journal holds no saved write on this port");
    }
    const session::TJournalBefore entry = journal.Entries[chosen].Before;
    const std::string name = "entry " + std::to_string(chosen + 1);
    if (!entry.Reading || !entry.Written) {
        return Fail(name + "'s scale values are unreadable: nothing written");
    }
    if (!EntryOfPort(journal.Entries[chosen], FPort.Name) && !FRequest.Force) {
        return Fail(name + " was written on " + entry.Port + ": --force writes it here");
    }
    return WriteGuarded([this, entry, name]() -> TDecision {
        if (const auto stranger = OtherCutterThan(entry, name); stranger && !FRequest.Force) {
            return *stranger;
        }
        const TScaleValues held = ReadingOf(FSession.Settings());
        if (!SameValues(held, *entry.Written) && !FRequest.Force) {
            return "the cutter holds " + ValuesText(held) + ", not the " +
                   ValuesText(*entry.Written) + " " + name +
                   " wrote: changed since; --force writes " + ValuesText(*entry.Reading) +
                   " anyway";
        }
        return session::TScaleTarget{*entry.Reading};
    });
}

// Another cutter may answer under the entry's port name now (a renumbered USB device, an
// adapter moved): the entry names the cutter it wrote to, and the port names the one there.
std::optional<std::string> TScaleCommands::OtherCutterThan(const session::TJournalBefore& entry,
                                                           const std::string& name) const {
    const protocol::CutterSettings& now = FSession.Settings();
    const bool sameFirmware =
        entry.FirmwareModel.empty() ||
        (now.FirmwareModel == entry.FirmwareModel && now.FirmwareVersion == entry.FirmwareVersion);
    const bool samePath = entry.DevicePath.empty() || FPort.DevicePath == entry.DevicePath;
    const bool sameUsb = entry.UsbDeviceId.empty() || FPort.UsbDeviceId == entry.UsbDeviceId;
    if (sameFirmware && samePath && sameUsb) {
        return std::nullopt;
    }
    return FPort.Name + " is now " +
           CutterText(now.FirmwareModel, now.FirmwareVersion, FPort.DevicePath, FPort.UsbDeviceId) +
           "; " + name + " was written to " +
           CutterText(entry.FirmwareModel, entry.FirmwareVersion, entry.DevicePath,
                      entry.UsbDeviceId) +
           ": --force writes it anyway";
}

// The link the cut opened is closed once the command has left. A cut that did not leave
// is told with what a query then meets on the port (who holds it, that it is gone).
int TScaleCommands::TestCut() {
    const session::TOutcome sent = FSession.SendTestDraw(FRequest.TestSize);
    FSession.AbandonQueries();
    if (sent.Done()) {
        FOutput.Values("Test cut " + FRequest.TestSize.X + " x " + FRequest.TestSize.Y +
                       " mm sent\n");
        return kExitAnswered;
    }
    if (sent.Kind == session::okUsbBlocked) {
        return Fail(sent.Cause);
    }
    const TQueryOutcome probe = RunQuery(FSession, qcFirmware, FRequest.Timeout);
    return Fail("the test cut was not sent" + (probe.Answered ? "" : ": " + probe.Failure));
}

// The sizes are read and checked as the wizard's fields are, each reading on its own and
// the readings against each other, before anything is sent. The settings are read for the
// journal's record of the media only.
int TScaleCommands::Calibrate() {
    if (FRequest.Plan) {
        return Plan();
    }
    std::vector<std::string> readingsX;
    std::vector<std::string> readingsY;
    for (const session::TCutSize& measured : FRequest.MeasuredSizes) {
        readingsX.push_back(measured.X);
        readingsY.push_back(measured.Y);
    }
    protocol::TAxisMeasurement x;
    protocol::TAxisMeasurement y;
    try {
        x = protocol::MeasureAxis("X", FRequest.TestSize.X, "Length X", readingsX,
                                  FRequest.ResolutionMm);
        y = protocol::MeasureAxis("Y", FRequest.TestSize.Y, "Width Y", readingsY,
                                  FRequest.ResolutionMm);
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    if (FSession.Settings().MediaType.empty()) {
        RunQuery(FSession, qcSettings, FRequest.Timeout);
    }
    return WriteGuarded([this, x, y] { return DecideCalibration(x, y); });
}

// Each axis against the reading the write replaces: an axis whose correction lies within
// its uncertainty keeps the cutter's value (unless --force).
TScaleCommands::TDecision TScaleCommands::DecideCalibration(const protocol::TAxisMeasurement& x,
                                                            const protocol::TAxisMeasurement& y) {
    const protocol::CutterSettings& reading = FSession.Settings();
    try {
        FCalibration = TCalibrationResult{
            {protocol::CorrectAxis(reading.ScaleX, x.Readings, x.TestUnits, FRequest.Force),
             x.Readings.Expanded},
            {protocol::CorrectAxis(reading.ScaleY, y.Readings, y.TestUnits, FRequest.Force),
             y.Readings.Expanded}};
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
    if (FCalibration->X.Correction.Kept && FCalibration->Y.Correction.Kept) {
        return TNothingToWrite{
            FormatCalibration(*FCalibration, reading, FPort.Name, FRequest.Json ? osJson : osText)};
    }
    session::TScaleTarget target;
    target.TestSize = {x.TestUnits, y.TestUnits};
    target.Measured = {x.Readings.MeanUnits, y.Readings.MeanUnits};
    target.KeepX = FCalibration->X.Correction.Kept;
    target.KeepY = FCalibration->Y.Correction.Kept;
    target.Calibration = CalibrationRecord(x, y, FRequest.ResolutionMm, reading);
    return target;
}

// The media size and the scale values, then the plan from them; nothing is written.
int TScaleCommands::Plan() {
    for (const TQueryCommand query : {qcSize, qcScale}) {
        const TQueryOutcome outcome = RunQuery(FSession, query, FRequest.Timeout);
        if (!outcome.Answered) {
            return Fail(outcome.Failure);
        }
    }
    try {
        const protocol::TCalibrationPlan plan =
            protocol::PlanCalibration(FSession.Settings(), FRequest.ResolutionMm);
        FOutput.Values(FormatPlan(plan, FSession.Settings(), FRequest.ResolutionMm, FPort.Name,
                                  FRequest.Json ? osJson : osText));
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    return kExitAnswered;
}

// The firmware is asked for the journal's record only; a cutter that does not tell it
// is still read and written.
int TScaleCommands::WriteGuarded(const std::function<TDecision()>& decide) {
    if (FSession.Settings().FirmwareModel.empty()) {
        RunQuery(FSession, qcFirmware, FRequest.Timeout);
    }
    if (const auto failure = ReadScale()) {
        return Fail(*failure);
    }
    const TDecision decision = decide();
    if (const auto* refusal = std::get_if<std::string>(&decision)) {
        return Fail(*refusal);
    }
    if (const auto* unchanged = std::get_if<TNothingToWrite>(&decision)) {
        FOutput.Values(unchanged->Lines);
        return kExitAnswered;
    }
    const auto& target = std::get<session::TScaleTarget>(decision);
    try {
        if (!Confirmed(session::TargetValues(target, FSession.Settings()))) {
            return kExitNoAnswer;
        }
    } catch (const std::exception& error) {
        return Fail(error.what());
    }
    const std::optional<TScaleSaveOutcome> outcome = Save(target);
    return outcome ? Report(*outcome) : Fail("tessaro-query was ended before the save ended");
}

// The save's own reading: the values the write replaces.
std::optional<std::string> TScaleCommands::ReadScale() {
    TEngineWait wait;
    // Queued as the save's own handling of the reply is, and after it: the save has taken
    // the reading before the second one is asked for.
    QObject::connect(
        &FSession, &session::TCutterSession::ScaleQueryEnded, wait.Context(),
        [&wait](bool decoded) {
            if (decoded) {
                wait.Answer();
            }
        },
        Qt::QueuedConnection);
    wait.FailOnSession(FSession);
    const std::optional<std::string> failure =
        wait.Run([this] { FSession.ScaleSave().ReadScale(); }, FRequest.Timeout);
    FSession.AbandonQueries();
    return failure;
}

bool TScaleCommands::Confirmed(const TScaleValues& values) {
    if (FRequest.Yes) {
        return true;
    }
    const std::string question = "Write scale " + ValuesText(values) + " to " +
                                 TerminalText(FPort.Name) + " (now " +
                                 ValuesText(ReadingOf(FSession.Settings())) + ")? [y/N] ";
    const std::optional<bool> answer = FOutput.Ask ? FOutput.Ask(question) : std::nullopt;
    if (!answer) {
        FOutput.Error("no terminal to ask on: --yes writes without asking; nothing written");
    } else if (!*answer) {
        FOutput.Error("nothing written");
    }
    return answer.value_or(false);
}

// Silence gives nothing up under the shell's rule: at the time limit the query under way
// is abandoned, which ends the save as a silence would.
std::optional<TScaleSaveOutcome> TScaleCommands::Save(const session::TScaleTarget& target) {
    session::TScaleSave& save = FSession.ScaleSave();
    save.UseJournal(
        {&FJournal, session::jsShell, !FRequest.NoJournal, FPort.DevicePath, FPort.UsbDeviceId});
    TEngineWait wait;
    std::optional<TScaleSaveOutcome> outcome;
    QObject::connect(&save, &session::TScaleSave::Ended, wait.Context(),
                     [&](const TScaleSaveOutcome& ending) {
                         outcome = ending;
                         wait.Answer();
                     });
    QObject::connect(&FSession, &session::TCutterSession::ReplyNotWhole, wait.Context(),
                     [this](protocol::TCommandCode code, const std::string& reply) {
                         FLinkCause = NotWholeText(code, reply);
                     });
    QObject::connect(&FSession, &session::TCutterSession::Failed, wait.Context(),
                     [this](const session::TOutcome& failure) {
                         if (failure.Kind == session::okPortLost ||
                             failure.Kind == session::okUsbBlocked) {
                             FLinkCause = failure.Cause;
                         }
                     });
    // The second reading, the write and the read-back, which the cutter may answer late.
    const auto abandon = [this, &wait] {
        FLinkCause = NoAnswerWithinText(FRequest.Timeout);
        FSession.AbandonQueries();
        QTimer::singleShot(FRequest.Timeout, wait.Context(), [&wait] { wait.Fail({}); });
    };
    wait.Run([&] { save.StartWith(target); }, FRequest.Timeout * 3, abandon);
    FSession.AbandonQueries();
    return outcome;
}

int TScaleCommands::Report(const TScaleSaveOutcome& outcome) {
    if (!outcome.JournalFailure.empty()) {
        FOutput.Error("warning: the scale journal could not be written: " + outcome.JournalFailure);
    }
    if (outcome.Result != session::srSaved) {
        return Fail(FailureText(outcome, FLinkCause));
    }
    const TOutputStyle style = FRequest.Json ? osJson : osText;
    FOutput.Values(FCalibration
                       ? FormatCalibration(*FCalibration, FSession.Settings(), FPort.Name, style)
                       : FormatReply(qcScale, FSession.Settings(), FPort.Name, style));
    return kExitAnswered;
}

int TScaleCommands::Fail(const std::string& cause) {
    FOutput.Error(cause);
    return kExitNoAnswer;
}

} // namespace cli
