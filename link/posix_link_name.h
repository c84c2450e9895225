#pragma once

// <unistd.h> declares the POSIX function link(), whose name collides at global scope with
// namespace link. Every file built against tessaro_link has this header forced in first
// (link/CMakeLists.txt): it lets <unistd.h> declare that function under another name, and
// the header's include guard keeps the clashing declaration out from then on. Nothing in
// Tessaro calls link().
#define link posix_link
#include <unistd.h>
#undef link
