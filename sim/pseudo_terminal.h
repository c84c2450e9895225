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

    // A host ended without closing its port (killed) leaves the slave marked for exclusive
    // use, and no later host could open it. Called once the host has closed the slave:
    // clears the mark, or says it is held when the slave cannot be opened to clear it (only
    // a privileged process opens a slave so marked) and still no host has it open.
    enum TExclusiveUse { euFree, euCleared, euHeld };
    TExclusiveUse ReleaseExclusiveUse() const;

    int Master() const { return FMaster; }
    const std::string& SlavePath() const { return FSlavePath; }

private:
    TPseudoTerminal(int master, std::string slavePath);
    // The master reports a hang-up while no one has the slave open.
    bool HostHasSlaveOpen() const;

    int FMaster;
    std::string FSlavePath;
};

} // namespace sim
