// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/last_error.h"

#include <cerrno>

namespace platform {

namespace {

using devlink::TLinkError;

thread_local TLinkError tLastError = TLinkError::leNone;
thread_local int tLastErrno = 0;

} // namespace

// A denial is EACCES only, and busy is what an exclusive open or lock refuses with.
TLinkError LinkErrorOf(int errnoValue) {
    switch (errnoValue) {
    case 0:
        return TLinkError::leNone;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return TLinkError::leNotFound;
    case EACCES:
        return TLinkError::leDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return TLinkError::leBusy;
    case EIO:
        return TLinkError::leHungUp;
    case ECANCELED:
        return TLinkError::leAborted;
    default:
        return TLinkError::leOther;
    }
}

TLinkError LastLinkError() {
    return tLastError;
}

int LastErrno() {
    return tLastErrno;
}

void SetLastLinkError(TLinkError error) {
    tLastError = error;
    tLastErrno = 0;
}

bool FailWithErrno() {
    return FailWith(errno);
}

bool FailWith(int errnoValue) {
    tLastError = LinkErrorOf(errnoValue);
    tLastErrno = errnoValue;
    return false;
}

} // namespace platform
