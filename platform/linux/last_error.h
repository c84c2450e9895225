// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace platform {

// Codes of the serial operations beyond errno and those link/serial_api.h names.
inline constexpr std::uint32_t kErrorOperationAborted = 995;

// The code of the last failure on the calling thread, as GetLastError reports it.
std::uint32_t LastErrorCode();
void SetLastErrorCode(std::uint32_t code);
// Records errno as the last failure; false, for the failing operation to return.
bool FailWithErrno();
// Records `code` (an errno value) as the last failure; false likewise.
bool FailWith(int code);

} // namespace platform
