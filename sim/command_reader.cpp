// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/command_reader.h"

namespace sim {
namespace {

bool IsLetter(char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

char UpperCase(char byte) {
    return (byte >= 'a' && byte <= 'z') ? char(byte - 'a' + 'A') : byte;
}

// Spaces, line ends and other control bytes may stand between instructions.
bool IsSeparator(char byte) {
    return byte != kEsc && static_cast<unsigned char>(byte) <= 32;
}

} // namespace

void TCommandReader::Feed(std::string_view bytes, TCutterCommands& commands, TCutterEvents& notes) {
    for (char byte : bytes) {
        Step(byte, commands, notes);
    }
}

void TCommandReader::Flush(TCutterEvents& notes) {
    if (FIgnoredCount == 0) {
        return;
    }
    std::string text = "ignored " + std::to_string(FIgnoredCount) + " byte" +
                       (FIgnoredCount == 1 ? "" : "s") + ": " + FIgnoredPreview;
    if (FIgnoredCount > FIgnoredPreview.size()) {
        text += "...";
    }
    notes.push_back({TEventKind::ekIgnored, text});
    FIgnoredPreview.clear();
    FIgnoredCount = 0;
}

void TCommandReader::Step(char byte, TCutterCommands& commands, TCutterEvents& notes) {
    switch (FState) {
    case TState::stIdle:
        StepIdle(byte, notes);
        break;
    case TState::stMnemonic:
        StepMnemonic(byte, commands, notes);
        break;
    case TState::stHpglParameters:
        StepParameters(byte, ';', kMaxHpglInstructionBytes, commands, notes);
        break;
    case TState::stEscape:
        StepEscape(byte, commands, notes);
        break;
    case TState::stDeviceName:
        StepDeviceName(byte, commands, notes);
        break;
    case TState::stDeviceParameters:
        StepParameters(byte, ':', kMaxDeviceControlBytes, commands, notes);
        break;
    case TState::stDiscarding:
        StepDiscarding(byte, notes);
        break;
    }
}

void TCommandReader::StepIdle(char byte, TCutterEvents& notes) {
    if (byte == kEsc) {
        StartCommand(TCommandKind::ckDeviceControl, byte, notes);
        FState = TState::stEscape;
    } else if (IsLetter(byte)) {
        StartCommand(TCommandKind::ckHpgl, byte, notes);
        FCommand.Name.push_back(UpperCase(byte));
        FState = TState::stMnemonic;
    } else if (!IsSeparator(byte) && byte != ';') {
        AddIgnored(std::string_view(&byte, 1), notes);
    }
}

void TCommandReader::StepMnemonic(char byte, TCutterCommands& commands, TCutterEvents& notes) {
    if (!IsLetter(byte)) {
        AbandonToIgnored(notes);
        Step(byte, commands, notes);
        return;
    }
    FCommand.Raw.push_back(byte);
    FCommand.Name.push_back(UpperCase(byte));
    FState = TState::stHpglParameters;
}

// HP-GL parameters run to ';', a device-control command's to ':'. ESC always starts a new
// command.
void TCommandReader::StepParameters(char byte, char terminator, std::size_t limit,
                                    TCutterCommands& commands, TCutterEvents& notes) {
    if (byte == terminator) {
        FCommand.Raw.push_back(byte);
        Emit(commands);
    } else if (byte == kEsc) {
        DropIncomplete("interrupted by ESC", notes);
        Step(byte, commands, notes);
    } else {
        AppendParameter(byte, limit, terminator, notes);
    }
}

void TCommandReader::StepEscape(char byte, TCutterCommands& commands, TCutterEvents& notes) {
    if (byte != '.') {
        AbandonToIgnored(notes);
        Step(byte, commands, notes);
        return;
    }
    FCommand.Raw.push_back(byte);
    FState = TState::stDeviceName;
}

void TCommandReader::StepDeviceName(char byte, TCutterCommands& commands, TCutterEvents& notes) {
    if (!IsLetter(byte)) {
        AbandonToIgnored(notes);
        Step(byte, commands, notes);
        return;
    }
    FCommand.Raw.push_back(byte);
    FCommand.Name.push_back(byte);
    FState = TState::stDeviceParameters;
}

void TCommandReader::StepDiscarding(char byte, TCutterEvents& notes) {
    if (byte == FDiscardTerminator) {
        FState = TState::stIdle;
    } else if (byte == kEsc) {
        FState = TState::stIdle;
        StepIdle(byte, notes);
    }
}

void TCommandReader::StartCommand(TCommandKind kind, char byte, TCutterEvents& notes) {
    Flush(notes);
    FCommand = TCutterCommand{kind, {}, {}, std::string(1, byte)};
}

void TCommandReader::AppendParameter(char byte, std::size_t limit, char terminator,
                                     TCutterEvents& notes) {
    if (FCommand.Raw.size() >= limit) {
        DropIncomplete("too long", notes);
        FDiscardTerminator = terminator;
        FState = TState::stDiscarding;
        return;
    }
    FCommand.Raw.push_back(byte);
    FCommand.Parameters.push_back(byte);
}

void TCommandReader::Emit(TCutterCommands& commands) {
    commands.push_back(std::move(FCommand));
    FCommand = {};
    FState = TState::stIdle;
}

void TCommandReader::DropIncomplete(const char* why, TCutterEvents& notes) {
    std::string text = std::string("dropped instruction (") + why +
                       "): " + FCommand.Raw.substr(0, kIgnoredPreviewBytes);
    if (FCommand.Raw.size() > kIgnoredPreviewBytes) {
        text += "...";
    }
    notes.push_back({TEventKind::ekIgnored, text});
    FCommand = {};
    FState = TState::stIdle;
}

void TCommandReader::AbandonToIgnored(TCutterEvents& notes) {
    const std::string raw = std::move(FCommand.Raw);
    FCommand = {};
    FState = TState::stIdle;
    AddIgnored(raw, notes);
}

void TCommandReader::AddIgnored(std::string_view bytes, TCutterEvents& notes) {
    for (char byte : bytes) {
        if (FIgnoredPreview.size() < kIgnoredPreviewBytes) {
            FIgnoredPreview.push_back(byte);
        }
        if (++FIgnoredCount >= kIgnoredBytesPerNote) {
            Flush(notes);
        }
    }
}

} // namespace sim
