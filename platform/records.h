// Native record layouts the platform functions write into caller buffers, checked per pointer width.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::records {

// Records are read and written with memcpy at these offsets: buffers coming back from the
// system (or a rootkit) are never trusted to be aligned or well-formed.

// --- files ---

// --- registry ---

// --- processes and objects ---

}  // namespace platform::records
