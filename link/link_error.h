// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace devlink {

// Why a serial or USB operation failed, in the words its callers act on. Each
// implementation translates its own causes (errno, the virtual cutter's states) into
// these in one place, so a caller never compares numbers of one system with another's.
enum class TLinkError {
    leNone,         // nothing failed
    leNotFound,     // no such port or device
    leDenied,       // the device is there, but the user may not open it
    leBusy,         // another program holds the device
    leHungUp,       // the device went away (unplugged, peer closed)
    leAborted,      // a purge or close ended the transfer
    leIoPending,    // a transfer was started and runs on
    leIoIncomplete, // a transfer asked about without waiting runs on
    leOther,        // any other failure
};

} // namespace devlink
