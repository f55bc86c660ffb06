// The extraction floor with the guarantees the service pack gives: its argument
// read the way the program must read its command line, and the package made
// durable beside the target before it replaces it.
//
//   floor_extract_durable.exe <output path>
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) {
    return 1;
  }
  const std::wstring target = arguments[1];
  GlobalFree(arguments);
  const std::wstring staging = target + L".partial";
  const HRSRC found = FindResourceW(instance, L"IDR_MSP_TB", L"MSP");
  const DWORD size = SizeofResource(instance, found);
  const void* bytes = LockResource(LoadResource(instance, found));
  const HANDLE file = CreateFileW(staging.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return 2;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, size, &written, nullptr);
  FlushFileBuffers(file);
  CloseHandle(file);
  if (!ok || written != size ||
      !MoveFileExW(staging.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(staging.c_str());
    return 3;
  }
  return 0;
}
