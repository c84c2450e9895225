// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/last_error.h"

#include <cerrno>

namespace platform {

namespace {
thread_local std::uint32_t tLastError = 0;
} // namespace

std::uint32_t LastErrorCode() {
    return tLastError;
}

void SetLastErrorCode(std::uint32_t code) {
    tLastError = code;
}

bool FailWithErrno() {
    return FailWith(errno);
}

bool FailWith(int code) {
    tLastError = static_cast<std::uint32_t>(code);
    return false;
}

} // namespace platform
