// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serial_api.h"

// The kernel's terminal settings (<asm/termbits.h>), which take any rate. Files that
// include the C library's <termios.h> cannot include that header too.
struct termios2;

namespace platform {

// The line configuration of a terminal device in DCB terms. Each returns false with errno
// set when the device refuses.

// Raw mode for binary transfers: no echo, no translation, no signals, the receiver on and
// the modem status lines ignored; a read returns as soon as one byte is there.
bool MakeRawLine(int fd);

// Writes the DCB's rate, byte size, parity, stop bits, software and CTS/RTS flow control
// and XON/XOFF characters onto the terminal; a value the line cannot take fails with EINVAL
// and changes nothing. The modem control lines are not touched.
bool ApplyDcbToLine(int fd, const devlink::TDcb& dcb);

// Whether a line that reads back `running` bit/s after being set to `asked` runs that
// rate: divisors make rates a little off, so a line within 2 % of the rate asked for does.
bool RateTaken(std::uint32_t asked, std::uint32_t running);

// Overwrites the fields of `dcb` that the terminal holds; the others stay as they are.
bool ReadDcbFromLine(int fd, devlink::TDcb& dcb);

// The same two mappings on settings in memory; ApplyDcbToSettings is false, and changes
// nothing, for a DCB the line cannot take.
bool ApplyDcbToSettings(const devlink::TDcb& dcb, termios2& line);
void ReadDcbFromSettings(const termios2& line, devlink::TDcb& dcb);

} // namespace platform
