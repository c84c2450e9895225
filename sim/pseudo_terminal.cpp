// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The slave's line settings as a cutter's port has them: 9600 bit/s, 8 data bits, raw.
bool MakeRaw(int master) {
    termios settings{};
    if (::tcgetattr(master, &settings) != 0) {
        return false;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return ::cfsetspeed(&settings, B9600) == 0 && ::tcsetattr(master, TCSANOW, &settings) == 0;
}

} // namespace

std::unique_ptr<TPseudoTerminal> TPseudoTerminal::Open(std::string& error) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master < 0) {
        error = SystemError("posix_openpt");
        return nullptr;
    }
    char slavePath[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, slavePath, sizeof slavePath) != 0) {
        error = SystemError("preparing the pseudo-terminal");
        ::close(master);
        return nullptr;
    }
    if (!MakeRaw(master)) {
        error = SystemError("setting raw mode");
        ::close(master);
        return nullptr;
    }
    return std::unique_ptr<TPseudoTerminal>(new TPseudoTerminal(master, slavePath));
}

TPseudoTerminal::TPseudoTerminal(int master, std::string slavePath)
    : FMaster(master), FSlavePath(std::move(slavePath)) {}

TPseudoTerminal::TExclusiveUse TPseudoTerminal::ReleaseExclusiveUse() const {
    const int slave = ::open(FSlavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        // A host may have opened the slave since it was seen closed: the mark is then its.
        return errno == EBUSY && !HostHasSlaveOpen() ? euHeld : euFree;
    }
    int exclusive = 0;
    const bool marked = ::ioctl(slave, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
    if (marked) {
        ::ioctl(slave, TIOCNXCL);
    }
    ::close(slave);
    return marked ? euCleared : euFree;
}

bool TPseudoTerminal::HostHasSlaveOpen() const {
    pollfd master{FMaster, POLLIN, 0};
    return ::poll(&master, 1, 0) >= 0 && (master.revents & POLLHUP) == 0;
}

TPseudoTerminal::~TPseudoTerminal() {
    ::close(FMaster);
}

} // namespace sim
