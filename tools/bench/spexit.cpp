// Starts a program, waits for it and prints its full 32-bit exit code, which
// wine itself cuts to 8 bits.
//
//   SPEXIT_COMMAND_LINE=<command line> spexit.exe [NAME=VALUE ...]
//
// The program's command line comes from the variable, so that it reaches the
// program exactly as written (wine would quote an argument with blanks). Each
// NAME=VALUE sets (an empty VALUE removes) a variable of the program's
// environment. Prints "exit=<code>" and returns 0, or returns 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t line[32768];
  const DWORD length = GetEnvironmentVariableW(L"SPEXIT_COMMAND_LINE", line, 32768);
  if (length == 0 || length >= 32768) {
    std::fputs("usage: SPEXIT_COMMAND_LINE=<command line> spexit.exe [NAME=VALUE ...]\n", stderr);
    return 2;
  }
  SetEnvironmentVariableW(L"SPEXIT_COMMAND_LINE", nullptr);
  for (int i = 1; i < argc; ++i) {
    const std::wstring assignment = argv[i];
    const std::size_t equals = assignment.find(L'=');
    if (equals == std::wstring::npos) {
      std::fputs("spexit: expected NAME=VALUE\n", stderr);
      return 2;
    }
    const std::wstring value = assignment.substr(equals + 1);
    SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                            value.empty() ? nullptr : value.c_str());
  }
  std::wstring commandLine = line;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("start-failed=%lu\n", GetLastError());
    return 0;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("exit=%lu\n", code);
  std::fflush(stdout);
  return 0;
}
