// The pack as a process of the check's own: on the check's desktop, where its
// windows are read and closed, or on a new window station nobody can see.
#include <windows.h>

#include <memory>
#include <set>
#include <vector>

#include "check/win32/win32_machine.h"
#include "messages/format.h"

namespace sp::check {
namespace {

constexpr UINT kPollMilliseconds = 100;
constexpr DWORD kEndWaitMilliseconds = 10000;
constexpr int kMessageBoxText = 0xFFFF;  // the static control of a message box's text

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

struct StationCloser {
  void operator()(HWINSTA station) const { ::CloseWindowStation(station); }
};
struct DesktopCloser {
  void operator()(HDESK desktop) const { ::CloseDesktop(desktop); }
};
using OwnedStation = std::unique_ptr<std::remove_pointer_t<HWINSTA>, StationCloser>;
using OwnedDesktop = std::unique_ptr<std::remove_pointer_t<HDESK>, DesktopCloser>;

std::u16string WindowText(HWND window) {
  wchar_t text[1024] = {};
  const int length = ::GetWindowTextW(window, text, 1024);
  return U(text, static_cast<std::size_t>(length > 0 ? length : 0));
}

std::u16string ClassOf(HWND window) {
  wchar_t name[256] = {};
  const int length = ::GetClassNameW(window, name, 256);
  return U(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

// Windows Installer's own windows are made by msi.dll (system DLLs share their
// address across the processes of a session) or are of its dialog classes.
bool IsInstallerWindow(HWND window, const std::u16string& className) {
  const auto instance = reinterpret_cast<HMODULE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE));
  const HMODULE msi = ::GetModuleHandleW(L"msi.dll");
  return (msi != nullptr && instance == msi) || className.rfind(u"Msi", 0) == 0;
}

SeenWindow Read(HWND window) {
  SeenWindow seen;
  seen.className = ClassOf(window);
  seen.caption = WindowText(window);
  const HWND text = ::GetDlgItem(window, kMessageBoxText);
  if (IsInstallerWindow(window, seen.className)) {
    seen.kind = WindowKind::kInstallerProgress;
  } else if (seen.className == u"#32770" && text != nullptr) {
    seen.kind = WindowKind::kMessageBox;
    seen.text = WindowText(text);
  }
  return seen;
}

// A box is answered with its OK button (or closed when it has none), as a user would.
void Close(HWND window, WindowKind kind) {
  const HWND ok = ::GetDlgItem(window, IDOK);
  if (kind == WindowKind::kMessageBox && ok != nullptr) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
  } else {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

struct Enumeration {
  DWORD processId = 0;
  std::vector<HWND> windows;
};

BOOL CALLBACK Collect(HWND window, LPARAM parameter) {
  auto* enumeration = reinterpret_cast<Enumeration*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == enumeration->processId && ::IsWindowVisible(window)) {
    enumeration->windows.push_back(window);
  }
  return TRUE;
}

// Shows the observer each new visible top-level window of the process once.
void Watch(DWORD processId, WindowObserver& observer, std::set<HWND>& handled) {
  for (auto it = handled.begin(); it != handled.end();) {
    it = ::IsWindow(*it) ? std::next(it) : handled.erase(it);
  }
  Enumeration enumeration;
  enumeration.processId = processId;
  ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&enumeration));
  for (HWND window : enumeration.windows) {
    if (!handled.insert(window).second) {
      continue;
    }
    const SeenWindow seen = Read(window);
    if (observer.Seen(seen) == WindowAction::kClose) {
      Close(window, seen.kind);
    }
  }
}

// CreateDesktopW makes the desktop on the calling process's window station, so
// the check stands on the new station for that one call.
HDESK CreateDesktopOn(HWINSTA station, const wchar_t* name) {
  const HWINSTA own = ::GetProcessWindowStation();
  if (!::SetProcessWindowStation(station)) {
    return nullptr;
  }
  const HDESK desktop = ::CreateDesktopW(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  const DWORD error = ::GetLastError();
  ::SetProcessWindowStation(own);
  ::SetLastError(error);
  return desktop;
}

// Each unseen run gets a window station of its own name.
unsigned stations = 0;

PackRun NotStarted(DWORD error) {
  PackRun run;
  run.end = PackRun::End::kNotStarted;
  run.failure = Failure(error);
  return run;
}

}  // namespace

PackRun RunPackProcess(const std::u16string& pack, const std::u16string& arguments, bool unseen,
                       WindowObserver* observer, std::uint32_t timeoutSeconds) {
  OwnedStation station;
  OwnedDesktop desktop;
  std::u16string desktopPath;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (unseen) {
    const std::u16string name =
        u"SpCheck" + DecimalText(::GetCurrentProcessId()) + u"-" + DecimalText(++stations);
    station.reset(::CreateWindowStationW(W(name), 0, GENERIC_ALL, nullptr));
    if (!station) {
      return NotStarted(::GetLastError());
    }
    desktop.reset(CreateDesktopOn(station.get(), L"Default"));
    if (!desktop) {
      return NotStarted(::GetLastError());
    }
    desktopPath = name + u"\\Default";
    startup.lpDesktop = const_cast<wchar_t*>(W(desktopPath));
  }
  std::u16string commandLine = u"\"" + pack + u"\" " + arguments;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(W(pack), reinterpret_cast<wchar_t*>(commandLine.data()), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &started)) {
    return NotStarted(::GetLastError());
  }
  OwnedHandle process(started.hProcess);
  OwnedHandle thread(started.hThread);
  const ULONGLONG deadline = ::GetTickCount64() + ULONGLONG{timeoutSeconds} * 1000;
  std::set<HWND> handled;
  PackRun run;
  for (;;) {
    if (::WaitForSingleObject(process.get(), kPollMilliseconds) == WAIT_OBJECT_0) {
      DWORD code = 0;
      ::GetExitCodeProcess(process.get(), &code);
      run.end = PackRun::End::kExited;
      run.exitCode = code;
      return run;
    }
    if (::GetTickCount64() >= deadline) {
      ::TerminateProcess(process.get(), kErrorTimeout);
      ::WaitForSingleObject(process.get(), kEndWaitMilliseconds);
      run.end = PackRun::End::kTimedOut;
      run.failure = Failure(kErrorTimeout);
      return run;
    }
    if (observer != nullptr) {
      Watch(started.dwProcessId, *observer, handled);
    }
  }
}

}  // namespace sp::check
