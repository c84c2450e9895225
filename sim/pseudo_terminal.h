// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

namespace sim {

// The master side of a pseudo-terminal in raw mode, non-blocking; its slave is the device
// a host opens. The master stays open for the object's life, so a host may close and
// reopen the slave as often as it likes.
class TPseudoTerminal {
public:
    // nullptr with `error` set when no pseudo-terminal can be had.
    static std::unique_ptr<TPseudoTerminal> Open(std::string& error);
    ~TPseudoTerminal();
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    int Master() const { return FMaster; }
    const std::string& SlavePath() const { return FSlavePath; }

private:
    TPseudoTerminal(int master, std::string slavePath);

    int FMaster;
    std::string FSlavePath;
};

} // namespace sim
