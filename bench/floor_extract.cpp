// The extraction floor: the package resource written from the program's own
// image to a file with one write.
//
//   floor_extract.exe <output path>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR output, int) {
  const HRSRC found = FindResourceW(instance, L"IDR_MSP_TB", L"MSP");
  if (found == nullptr) {
    return 1;
  }
  const DWORD size = SizeofResource(instance, found);
  const void* bytes = LockResource(LoadResource(instance, found));
  const HANDLE file =
      CreateFileW(output, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return 2;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes, size, &written, nullptr);
  CloseHandle(file);
  return ok && written == size ? 0 : 3;
}
