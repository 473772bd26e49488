// Classifies the running Windows version into the flag set the scanners branch on.
#pragma once

#include <cstdint>

namespace base {

inline constexpr std::uint32_t kOSFlagNTFamily = 0x1000;
inline constexpr std::uint32_t kOSFlagXP = 0x10000;
inline constexpr std::uint32_t kOSFlagVista = 0x200000;
inline constexpr std::uint32_t kOSFlagTilesMask = 0x250000;

// Pure classification of (major, minor, build). Versions above 6.0 count as NT family with the
// flags of 6.0, so the native half of every test runs on current systems.
std::uint32_t GetOSFlags(std::uint32_t major, std::uint32_t minor, std::uint32_t build);

// The running system's version, read once at start-up through the platform's GetVersionExA.
void ReadRunningVersion();
// Flags of the version read at start-up (0 before it was read).
std::uint32_t GetOSFlags();

inline bool IsNTFamily(std::uint32_t flags) { return (flags & kOSFlagNTFamily) != 0; }

}  // namespace base
