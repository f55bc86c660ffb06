// The control of the DLL search-order tests: loads DLLs by bare name with plain
// LoadLibraryW, the way a program open to a planted DLL does, and calls the
// first installer function a service pack calls.
//
//   spload.exe <dll name>...
//
// Prints "<name> <path of the module loaded>" per DLL, or "<name> error=<code>".
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: spload.exe <dll name>...\n", stderr);
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    const HMODULE module = LoadLibraryW(argv[i]);
    if (module == nullptr) {
      std::printf("%ls error=%lu\n", argv[i], GetLastError());
      continue;
    }
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(module, path, MAX_PATH);
    std::printf("%ls %ls\n", argv[i], path);
    using Summary = UINT(WINAPI*)(DWORD, LPCWSTR, UINT, DWORD*);
    const auto summary = reinterpret_cast<Summary>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "MsiGetSummaryInformationW")));
    if (summary != nullptr) {
      DWORD handle = 0;
      summary(0, L"C:\\none.msp", 0, &handle);
    }
  }
  return 0;
}
