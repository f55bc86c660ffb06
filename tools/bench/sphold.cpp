// Holds a file open for writing, shared with nobody, so that tests can see
// what another program does with a file that is in use.
//
//   sphold.exe <path> <seconds>
//
// Creates the file if needed, prints "held" once it is open, and keeps it
// open for the given number of seconds.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: sphold.exe <path> <seconds>\n", stderr);
    return 2;
  }
  const HANDLE file =
      CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("open-failed=%lu\n", GetLastError());
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) * 1000);
  CloseHandle(file);
  return 0;
}
