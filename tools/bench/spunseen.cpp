// Starts a program where nobody can see it, as a deployment service or a task
// in session 0 does, waits for it at most a given time and prints its full
// 32-bit exit code.
//
//   SPEXIT_COMMAND_LINE=<command line> spunseen.exe <seconds> [NAME=VALUE ...]
//
// The program runs on a new window station of its own with a desktop of its own
// ("SpUnseen<launcher's process id>\Default"). Prints "station-visible=<0|1>"
// (whether the new station has WSF_VISIBLE, as the program will find it), then
// "exit=<code>" when the program ends within the limit, or "limit-reached" when
// it does not (the program is then ended). The command line and the NAME=VALUE
// assignments are taken as spexit.exe takes them. Returns 0, or 2 on a usage
// error or when the station or desktop cannot be made.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Makes the desktop on `station`: CreateDesktopW works on the window station
// of the calling process, so the launcher stands on it for that one call.
HDESK CreateDesktopOn(HWINSTA station, const wchar_t* name) {
  const HWINSTA own = GetProcessWindowStation();
  if (!SetProcessWindowStation(station)) {
    return nullptr;
  }
  const HDESK desktop = CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  const DWORD error = GetLastError();
  SetProcessWindowStation(own);
  SetLastError(error);
  return desktop;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t line[32768];
  const DWORD length = GetEnvironmentVariableW(L"SPEXIT_COMMAND_LINE", line, 32768);
  if (argc < 2 || length == 0 || length >= 32768) {
    std::fputs(
        "usage: SPEXIT_COMMAND_LINE=<command line> spunseen.exe <seconds> [NAME=VALUE ...]\n",
        stderr);
    return 2;
  }
  const DWORD seconds = static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10));
  SetEnvironmentVariableW(L"SPEXIT_COMMAND_LINE", nullptr);
  for (int i = 2; i < argc; ++i) {
    const std::wstring assignment = argv[i];
    const std::size_t equals = assignment.find(L'=');
    if (equals == std::wstring::npos) {
      std::fputs("spunseen: expected NAME=VALUE\n", stderr);
      return 2;
    }
    const std::wstring value = assignment.substr(equals + 1);
    SetEnvironmentVariableW(assignment.substr(0, equals).c_str(),
                            value.empty() ? nullptr : value.c_str());
  }

  const std::wstring stationName = L"SpUnseen" + std::to_wstring(GetCurrentProcessId());
  const HWINSTA station = CreateWindowStationW(stationName.c_str(), 0, GENERIC_ALL, nullptr);
  if (station == nullptr) {
    std::printf("station-failed=%lu\n", GetLastError());
    return 2;
  }
  const HDESK desktop = CreateDesktopOn(station, L"Default");
  if (desktop == nullptr) {
    std::printf("desktop-failed=%lu\n", GetLastError());
    CloseWindowStation(station);
    return 2;
  }
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
    std::printf("station-flags-failed=%lu\n", GetLastError());
    CloseDesktop(desktop);
    CloseWindowStation(station);
    return 2;
  }
  std::printf("station-visible=%d\n", (flags.dwFlags & WSF_VISIBLE) != 0 ? 1 : 0);
  std::fflush(stdout);

  std::wstring desktopPath = stationName + L"\\Default";
  std::wstring commandLine = line;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktopPath.data();
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("start-failed=%lu\n", GetLastError());
  } else {
    if (WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      std::printf("exit=%lu\n", code);
    } else {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, 10000);
      std::puts("limit-reached");
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  std::fflush(stdout);
  CloseDesktop(desktop);
  CloseWindowStation(station);
  return 0;
}
