// A DLL for the tests of DLL search order: planted as msi.dll (or another
// system DLL's name) in a folder Windows searches before System32. Whatever
// loads it and whatever calls it leaves a marker file on drive C:
//
//   C:\planted-<module file name>-DllMain.txt     when a process loads it
//   C:\planted-<module file name>-<function>.txt  when a function is called
//
// Every function then fails, so a run that used it also ends differently.
#include <windows.h>

#include <string>

namespace {

HMODULE self = nullptr;

void Mark(const wchar_t* what) {
  wchar_t path[MAX_PATH] = L"";
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  const std::wstring full(path, length);
  const std::wstring name = full.substr(full.find_last_of(L'\\') + 1);
  const std::wstring marker = L"C:\\planted-" + name + L"-" + what + L".txt";
  const HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, full.data(), static_cast<DWORD>(full.size() * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
  }
}

constexpr UINT kInstallFailure = 1603;
constexpr int kStateUnknown = -1;    // INSTALLSTATE_UNKNOWN
constexpr int kUiLevelNoChange = 0;  // INSTALLUILEVEL_NOCHANGE

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    Mark(L"DllMain");
  }
  return TRUE;
}

// The Windows Installer functions servicepack.exe calls, with their signatures.
__declspec(dllexport) UINT WINAPI MsiGetSummaryInformationW(DWORD, LPCWSTR, UINT, DWORD*) {
  Mark(L"MsiGetSummaryInformationW");
  return kInstallFailure;
}

__declspec(dllexport) UINT WINAPI
    MsiSummaryInfoGetPropertyW(DWORD, UINT, UINT*, INT*, FILETIME*, LPWSTR, DWORD*) {
  Mark(L"MsiSummaryInfoGetPropertyW");
  return kInstallFailure;
}

__declspec(dllexport) UINT WINAPI MsiCloseHandle(DWORD) {
  Mark(L"MsiCloseHandle");
  return kInstallFailure;
}

__declspec(dllexport) INT WINAPI MsiQueryProductStateW(LPCWSTR) {
  Mark(L"MsiQueryProductStateW");
  return kStateUnknown;
}

__declspec(dllexport) UINT WINAPI MsiGetProductInfoW(LPCWSTR, LPCWSTR, LPWSTR, DWORD*) {
  Mark(L"MsiGetProductInfoW");
  return kInstallFailure;
}

__declspec(dllexport) UINT WINAPI MsiEnableLogW(DWORD, LPCWSTR, DWORD) {
  Mark(L"MsiEnableLogW");
  return kInstallFailure;
}

__declspec(dllexport) UINT WINAPI MsiConfigureProductExW(LPCWSTR, INT, INT, LPCWSTR) {
  Mark(L"MsiConfigureProductExW");
  return kInstallFailure;
}

__declspec(dllexport) INT WINAPI MsiSetInternalUI(INT, HWND*) {
  Mark(L"MsiSetInternalUI");
  return kUiLevelNoChange;
}

}  // extern "C"
