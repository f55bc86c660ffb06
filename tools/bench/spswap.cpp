// Plays a same-user process that tries to change the package an installer is
// about to hand Windows Installer: while it runs, it keeps opening every MSP<n>
// file in a folder for writing and putting another package in its place
// (ReplaceFileW, which, unlike a rename, never makes a file that is gone), and prints
// one line per attempt: what, which file and the result (0 or the error). It
// starts once a marker file exists, so that a test can aim it at a stretch of
// the installer's run.
//
//   spswap.exe <folder> <other package> <seconds> <marker>
//
// It never writes into a file it opened: an open that succeeds is only counted.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool IsPackageName(const wchar_t* name) {
  if (std::wcsncmp(name, L"MSP", 3) != 0 || name[3] == L'\0') {
    return false;
  }
  for (const wchar_t* c = name + 3; *c != L'\0'; ++c) {
    if (*c < L'0' || *c > L'9') {
      return false;
    }
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fputs("usage: spswap.exe <folder> <other package> <seconds> <marker>\n", stderr);
    return 2;
  }
  const std::wstring folder = argv[1];
  const std::wstring spare = folder + L"\\spswap.tmp";
  const ULONGLONG end = GetTickCount64() + std::wcstoul(argv[3], nullptr, 10) * 1000ull;
  std::puts("started");
  std::fflush(stdout);
  while (GetTickCount64() < end && GetFileAttributesW(argv[4]) == INVALID_FILE_ATTRIBUTES) {
    Sleep(1);
  }
  while (GetTickCount64() < end) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\MSP*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      Sleep(1);
      continue;
    }
    do {
      if (!IsPackageName(found.cFileName)) {
        continue;
      }
      const std::wstring target = folder + L"\\" + found.cFileName;
      const HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      const DWORD opened = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
      if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
      }
      std::printf("open %ls %lu\n", found.cFileName, opened);
      DWORD replaced = 0;
      if (!CopyFileW(argv[2], spare.c_str(), FALSE)) {
        replaced = GetLastError();
      } else if (!ReplaceFileW(target.c_str(), spare.c_str(), nullptr, 0, nullptr, nullptr)) {
        replaced = GetLastError();
      }
      std::printf("replace %ls %lu\n", found.cFileName, replaced);
      std::fflush(stdout);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  DeleteFileW(spare.c_str());
  return 0;
}
