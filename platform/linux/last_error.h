// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/link_error.h"

namespace platform {

// The one translation of an errno value into the link's words.
devlink::TLinkError LinkErrorOf(int errnoValue);

// The last failure on the calling thread (what TSerialApi::GetLastError reports), kept per
// thread as errno is, and the errno behind it (0 where there is none), for words of the
// system's own.
devlink::TLinkError LastLinkError();
int LastErrno();
// Records a failure that has no errno (a transfer still running).
void SetLastLinkError(devlink::TLinkError error);
// Records errno as the last failure; false, for the failing operation to return.
bool FailWithErrno();
// Records `errnoValue` as the last failure; false likewise.
bool FailWith(int errnoValue);

} // namespace platform
