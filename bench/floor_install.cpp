// The install floor: what an install run with no dialog cannot avoid. The
// package resource written from the program's own image to a temporary file
// with one write; no installer interface; the target list read from the
// package's summary information; each target's state and, for one that is
// there, its name, language and version; its verbose log enabled; the two
// reconfigurations the service pack makes; the package deleted.
//
//   floor_install.exe
// Exit code: 0 when every reconfiguration succeeded, else the first failure.
//
// Built a second time as floor_install_asking.exe (SP_FLOOR_ASKS_WHO_SEES): first
// it asks what the service pack asks before anything else, whether its window
// station is visible, which under Wine starts the desktop process.
#include <windows.h>
// msi.h needs the types of windows.h.
#include <msi.h>
#include <msiquery.h>

#include <string>

namespace {

std::wstring ProductInfo(const std::wstring& code, const wchar_t* attribute) {
  wchar_t text[1024];
  DWORD length = 1024;
  return MsiGetProductInfoW(code.c_str(), attribute, text, &length) == ERROR_SUCCESS
             ? std::wstring(text)
             : std::wstring();
}

bool Succeeded(UINT result) {
  return result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_INITIATED ||
         result == ERROR_SUCCESS_REBOOT_REQUIRED;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  wchar_t temp[MAX_PATH];
  if (GetTempPathW(MAX_PATH, temp) == 0) {
    return 1;
  }
  const std::wstring directory = temp;
  const std::wstring package = directory + L"MSPfloor.tmp";
  const HRSRC found = FindResourceW(instance, L"IDR_MSP_TB", L"MSP");
  if (found == nullptr) {
    return 2;
  }
  const DWORD size = SizeofResource(instance, found);
  const void* bytes = LockResource(LoadResource(instance, found));
  const HANDLE file = CreateFileW(package.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return 3;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, size, &written, nullptr);
  CloseHandle(file);
  if (!ok || written != size) {
    return 4;
  }

#ifdef SP_FLOOR_ASKS_WHO_SEES
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  // Only the question's cost is measured; its answer changes nothing here.
  static_cast<void>(GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags,
                                              sizeof flags, &needed));
#endif
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  MSIHANDLE summary = 0;
  if (MsiGetSummaryInformationW(0, package.c_str(), 0, &summary) != ERROR_SUCCESS) {
    return 5;
  }
  wchar_t codes[2048];
  DWORD length = 2048;
  UINT type = 0;
  INT number = 0;
  FILETIME time{};
  const UINT status = MsiSummaryInfoGetPropertyW(summary, 7, &type, &number, &time, codes, &length);
  MsiCloseHandle(summary);
  if (status != ERROR_SUCCESS) {
    return 6;
  }

  const std::wstring patch = L"PATCH=\"" + package + L"\"";
  const std::wstring first = patch +
                             L" REBOOTPROMPT=S FILESINUSETEXT=\"The following applications should "
                             L"be closed before continuing the install:\" REINSTALL=ALL "
                             L"REINSTALLMODE=emus";
  const std::wstring second = patch + L" REINSTALL=ALL REINSTALLMODE=emus";
  UINT failure = 0;
  std::wstring rest = std::wstring(codes) + L";";
  for (std::size_t end = rest.find(L';'); end != std::wstring::npos && end > 0;
       end = rest.find(L';')) {
    const std::wstring code = rest.substr(0, end);
    rest.erase(0, end + 1);
    const INSTALLSTATE state = MsiQueryProductStateW(code.c_str());
    if (state != INSTALLSTATE_DEFAULT && state != INSTALLSTATE_ADVERTISED) {
      continue;
    }
    ProductInfo(code, L"VersionString");
    const std::wstring name = ProductInfo(code, L"ProductName");
    ProductInfo(code, L"Language");
    const std::wstring log = directory + name + L".log";
    MsiEnableLogW(INSTALLLOGMODE_VERBOSE, log.c_str(), 0);
    UINT result = MsiConfigureProductExW(code.c_str(), 0, INSTALLSTATE_DEFAULT, first.c_str());
    if (Succeeded(result)) {
      result = MsiConfigureProductExW(code.c_str(), 0, INSTALLSTATE_DEFAULT, second.c_str());
    }
    if (!Succeeded(result) && failure == 0) {
      failure = result;
    }
  }
  DeleteFileW(package.c_str());
  return static_cast<int>(failure);
}
