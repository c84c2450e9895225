// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// tessaro-query's writes of the cutter's scale: scale --set, restore and calibrate go
// through the session's one save, with every guard the window's save has (two identical
// readings, the USB guard, the values' check, the read-back) and its journal; test-cut
// cuts the wizard's test rectangle; calibrate --plan tells its size. Each returns the exit
// status.

#include "cli/calibration_format.h"
#include "cli/command_line.h"
#include "cli/query_program.h"
#include "session/cutter_session.h"
#include "session/scale_journal.h"

#include <functional>
#include <optional>
#include <string>
#include <variant>

namespace cli {

class TScaleCommands {
public:
    // `output`'s causes are told with the port's name.
    TScaleCommands(session::TCutterSession& session, TOutput output, const TQueryRequest& request,
                   session::TPortEntry port);

    int SetScale();
    int Restore();
    int TestCut();
    int Calibrate();

private:
    // A calibration whose corrections all lie within their uncertainty: what it prints.
    struct TNothingToWrite {
        std::string Lines;
    };
    // What a write carries, decided once the reading it replaces is in hand; or why
    // nothing is written, a refusal or nothing to correct.
    using TDecision = std::variant<session::TScaleTarget, std::string, TNothingToWrite>;

    int Plan();
    TDecision DecideCalibration(const protocol::TAxisMeasurement& x,
                                const protocol::TAxisMeasurement& y);
    int WriteGuarded(const std::function<TDecision()>& decide);
    std::optional<std::string> OtherCutterThan(const session::TJournalBefore& entry,
                                               const std::string& name) const;
    std::optional<std::string> ReadScale();
    bool Confirmed(const session::TScaleValues& values);
    std::optional<session::TScaleSaveOutcome> Save(const session::TScaleTarget& target);
    int Report(const session::TScaleSaveOutcome& outcome);
    int Fail(const std::string& cause);

    session::TCutterSession& FSession;
    TOutput FOutput;
    const TQueryRequest& FRequest;
    session::TPortEntry FPort;
    session::TScaleJournal FJournal;
    // What the link said last while the save ran (a reply not whole, a silence).
    std::string FLinkCause;
    // The calibration being written, told with the values once saved.
    std::optional<TCalibrationResult> FCalibration;
};

} // namespace cli
