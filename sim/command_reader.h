// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/cutter_event.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

inline constexpr char kEsc = '\x1B';

enum class TCommandKind {
    ckHpgl,          // two-letter HP-GL instruction ended by ";"
    ckDeviceControl, // ESC "." letter parameters ":"
};

struct TCutterCommand {
    TCommandKind Kind = TCommandKind::ckHpgl;
    std::string Name;       // HP-GL mnemonic in upper case ("PD") or the device-control letter
    std::string Parameters; // the text between the name and the terminator
    std::string Raw;        // the bytes as received, terminator included

    bool operator==(const TCutterCommand&) const = default;
};

using TCutterCommands = std::vector<TCutterCommand>;

// Longest instruction kept; a longer one is dropped so that a stream without terminators
// cannot grow memory.
inline constexpr std::size_t kMaxHpglInstructionBytes = 4096;
inline constexpr std::size_t kMaxDeviceControlBytes = 64;
// Unparsable bytes are reported in notes at least this often, with a short preview.
inline constexpr std::size_t kIgnoredBytesPerNote = 4096;
inline constexpr std::size_t kIgnoredPreviewBytes = 32;

// Splits the byte stream a cutter receives into complete commands. A command cut across
// several writes is completed by a later Feed; several commands in one write come out in
// order. Bytes that make no command are reported as ekIgnored notes and dropped.
class TCommandReader {
public:
    void Feed(std::string_view bytes, TCutterCommands& commands, TCutterEvents& notes);
    // Reports unparsable bytes held back for a combined note.
    void Flush(TCutterEvents& notes);
    // Bytes held for an incomplete command; never above the instruction limits.
    std::size_t HeldBytes() const { return FCommand.Raw.size(); }

private:
    enum class TState {
        stIdle,
        stMnemonic,
        stHpglParameters,
        stEscape,
        stDeviceName,
        stDeviceParameters,
        stDiscarding,
    };

    void Step(char byte, TCutterCommands& commands, TCutterEvents& notes);
    void StepIdle(char byte, TCutterEvents& notes);
    void StepMnemonic(char byte, TCutterCommands& commands, TCutterEvents& notes);
    void StepParameters(char byte, char terminator, std::size_t limit, TCutterCommands& commands,
                        TCutterEvents& notes);
    void StepEscape(char byte, TCutterCommands& commands, TCutterEvents& notes);
    void StepDeviceName(char byte, TCutterCommands& commands, TCutterEvents& notes);
    void StepDiscarding(char byte, TCutterEvents& notes);

    void StartCommand(TCommandKind kind, char byte, TCutterEvents& notes);
    void AppendParameter(char byte, std::size_t limit, char terminator, TCutterEvents& notes);
    void Emit(TCutterCommands& commands);
    void DropIncomplete(const char* why, TCutterEvents& notes);
    void AbandonToIgnored(TCutterEvents& notes);
    void AddIgnored(std::string_view bytes, TCutterEvents& notes);

    TState FState = TState::stIdle;
    TCutterCommand FCommand;
    char FDiscardTerminator = ';';
    std::string FIgnoredPreview;
    std::size_t FIgnoredCount = 0;
};

} // namespace sim
