// What differs between a Windows console and a POSIX terminal: argument code page, binary output.
#pragma once

#include <cstdint>

namespace cli {

// The code page the program's arguments arrive in: the system code page on Windows, UTF-8 elsewhere.
std::uint32_t ArgumentCodePage();

// Standard output writes bytes as they are (no CR added before LF), for files such as .reg text
// that carry their own CR LF line ends.
void SetBinaryStandardOutput();

// Whether standard error is a terminal (live progress goes there only then).
bool StandardErrorIsTerminal();

// Whether standard input is a terminal (a deletion asks first only then).
bool StandardInputIsTerminal();
// Whether the program scans the live system when no image is given (Windows).
bool LiveSystemByDefault();

// Ctrl+C: from now on the first interrupt only sets a flag that the main loop polls; a second
// one ends the program as usual.
void CatchInterrupt();
bool InterruptRequested();

}  // namespace cli
