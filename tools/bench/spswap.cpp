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
//
//   spswap.exe held <seconds> <marker> <path>...
//
// Plays one that tries to take files another program holds: once the marker
// exists, it keeps trying, for each path in turn, to delete it (DeleteFileW),
// rename it (MoveFileExW to <path>.moved) and put a plain file of its own in its
// place (MoveFileExW with MOVEFILE_REPLACE_EXISTING), and prints one line per
// attempt: "delete|rename|replace <index of the path> <0 or the error>[ late]". A path
// that does not exist yet is passed over, one it has once deleted, renamed or
// replaced is left alone from then on, and one is tried from 20 ms after it first
// appears; once the first path is gone, it stops.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

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

// The "held" mode.
int TryToTake(int argc, wchar_t** argv) {
  const ULONGLONG end = GetTickCount64() + std::wcstoul(argv[2], nullptr, 10) * 1000ull;
  const wchar_t* marker = argv[3];
  std::vector<std::wstring> paths(argv + 4, argv + argc);
  std::vector<bool> taken(paths.size(), false);
  // A path is tried from 20 ms after it first appears: the moment in which the
  // program makes a file and then takes its hold is not what this plays.
  std::vector<ULONGLONG> appeared(paths.size(), 0);
  std::puts("started");
  std::fflush(stdout);
  while (GetTickCount64() < end && GetFileAttributesW(marker) == INVALID_FILE_ATTRIBUTES) {
    Sleep(1);
  }
  // An attempt on another path that succeeds once the first path is gone, or taken,
  // may have come after the program let go of everything: it is marked "late".
  const auto report = [&paths, &taken](const char* what, std::size_t index, BOOL done) {
    const DWORD error = done ? 0 : GetLastError();
    const bool late = error == 0 && index != 0 &&
                      (taken[0] || GetFileAttributesW(paths[0].c_str()) == INVALID_FILE_ATTRIBUTES);
    std::printf("%s %u %lu%s\n", what, static_cast<unsigned>(index), error, late ? " late" : "");
    std::fflush(stdout);
    return error;
  };
  while (GetTickCount64() < end) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      if (taken[i]) {
        continue;
      }
      const std::wstring& path = paths[i];
      if (i != 0 && GetFileAttributesW(paths[0].c_str()) == INVALID_FILE_ATTRIBUTES) {
        return 0;  // the first path is gone: the program is done with all of them
      }
      if (i != 0 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        continue;  // not made yet
      }
      if (appeared[i] == 0) {
        appeared[i] = GetTickCount64();
      }
      if (GetTickCount64() - appeared[i] < 20) {
        continue;
      }
      const DWORD deleted = report("delete", i, DeleteFileW(path.c_str()));
      if (i == 0 && deleted == ERROR_FILE_NOT_FOUND) {
        return 0;
      }
      if (deleted == 0) {
        taken[i] = true;
        continue;
      }
      if (report("rename", i, MoveFileExW(path.c_str(), (path + L".moved").c_str(), 0)) == 0) {
        taken[i] = true;
        continue;
      }
      const std::wstring spare = path + L".spswap";
      const HANDLE file = CreateFileW(spare.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
      }
      taken[i] = report("replace", i,
                        MoveFileExW(spare.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) == 0;
      DeleteFileW(spare.c_str());
    }
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 5 && std::wcscmp(argv[1], L"held") == 0) {
    return TryToTake(argc, argv);
  }
  if (argc != 5) {
    std::fputs(
        "usage: spswap.exe <folder> <other package> <seconds> <marker>\n"
        "       spswap.exe held <seconds> <marker> <path>...\n",
        stderr);
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
