#pragma once
// Statuses that the reference host's objects return (0 is success).
#include "tarn/PIM.h"

namespace mattix::host {

// A null pointer, an unknown kind, or an object that is not the host's own.
inline constexpr PIM::Status kStatusBadArgument = 0x2002;
// No parameter at that index.
inline constexpr PIM::Status kStatusNotFound = 0x2003;
// The host could not allocate a copy.
inline constexpr PIM::Status kStatusOutOfMemory = 0x2004;

}  // namespace mattix::host
