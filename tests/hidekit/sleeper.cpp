// hidesleeper: a process that just stays alive (default 600 s, or the seconds given), so a test
// has something with a chosen executable name in the process list.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 600;
  Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 600) * 1000);
  return 0;
}
