// The platform work no service pack can avoid: open the package's summary
// information, read its target list and ask for the state of each product.
//
//   floor_overhead.exe <package path>
#include <windows.h>
// msi.h needs the types of windows.h.
#include <msi.h>
#include <msiquery.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR package, int) {
  MSIHANDLE summary = 0;
  if (MsiGetSummaryInformationW(0, package, 0, &summary) != ERROR_SUCCESS) {
    return 1;
  }
  wchar_t codes[2048];
  DWORD length = 2048;
  UINT type = 0;
  INT number = 0;
  FILETIME time{};
  const UINT status = MsiSummaryInfoGetPropertyW(summary, 7, &type, &number, &time, codes, &length);
  MsiCloseHandle(summary);
  if (status != ERROR_SUCCESS) {
    return 1;
  }
  std::wstring rest = codes;
  rest += L';';
  for (std::size_t end = rest.find(L';'); end != std::wstring::npos && end > 0;
       end = rest.find(L';')) {
    MsiQueryProductStateW(rest.substr(0, end).c_str());
    rest.erase(0, end + 1);
  }
  return 0;
}
