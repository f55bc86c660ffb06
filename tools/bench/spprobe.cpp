// A stand-in for the service pack in the tests of the test bench itself.
//
//   spprobe.exe box <text> <caption> <style>   shows a message box
//   spprobe.exe log <path>                      enables a verbose installer log
//   spprobe.exe exit <code>                     exits with that code
//   spprobe.exe write <path> <text>             writes a file (UTF-16)
//   spprobe.exe env <name> <path>               writes an environment variable to a file
//   spprobe.exe hang                            never returns
//
// Actions run in the order given, e.g. "box a b 16 exit 1603".
#include <windows.h>
// msi.h needs the types of windows.h.
#include <msi.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring action = argv[i];
    if (action == L"box" && i + 3 < argc) {
      MessageBoxW(nullptr, argv[i + 1], argv[i + 2],
                  static_cast<UINT>(std::wcstoul(argv[i + 3], nullptr, 0)));
      i += 3;
    } else if (action == L"log" && i + 1 < argc) {
      MsiEnableLogW(INSTALLLOGMODE_VERBOSE, argv[++i], 0);
    } else if (action == L"exit" && i + 1 < argc) {
      return static_cast<int>(std::wcstoul(argv[++i], nullptr, 10));
    } else if ((action == L"write" || action == L"env") && i + 2 < argc) {
      wchar_t value[1024] = L"";
      if (action == L"env") {
        GetEnvironmentVariableW(argv[i + 1], value, 1024);
      }
      const wchar_t* path = action == L"env" ? argv[i + 2] : argv[i + 1];
      const wchar_t* text = action == L"env" ? value : argv[i + 2];
      const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      WriteFile(file, text, static_cast<DWORD>(std::wcslen(text) * 2), &written, nullptr);
      CloseHandle(file);
      i += 2;
    } else if (action == L"hang") {
      Sleep(INFINITE);
    } else {
      return 2;
    }
  }
  return 0;
}
