#include "platform/system_library.h"

namespace sp {

LibraryHandle LoadSystemLibrary(LibraryLoader& loader, const std::u16string& name) {
  const LibraryLoadResult searched = loader.LoadLibraryExW(name, win::kLoadLibrarySearchSystem32);
  // Windows without the search flags (before update KB2533623) refuses the flag
  // as a bad parameter. Any other failure is the DLL's own, and its full path
  // would not change it.
  if (searched.library != kNoLibrary || searched.error != win::kErrorInvalidParameter) {
    return searched.library;
  }
  std::u16string path = loader.GetSystemDirectoryW();
  if (path.empty()) {
    return kNoLibrary;
  }
  if (path.back() != u'\\') {
    path += u'\\';
  }
  path += name;
  // The altered search path starts the search for the DLL's own dependencies in
  // System32 too, not in the program's folder.
  return loader.LoadLibraryExW(path, win::kLoadWithAlteredSearchPath).library;
}

}  // namespace sp
