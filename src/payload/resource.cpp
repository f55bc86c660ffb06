#include "payload/resource.h"

namespace sp {

RawResource FindRawResource(Process& process, const std::u16string& name,
                            const std::u16string& type) {
  Platform& os = process.os;
  os.SetLastError(
      win::kErrorSuccess);  // so that a failure the platform does not name shows as none
  const ResourceHandle found = os.FindResourceW(process.module, name, type);
  if (found == ResourceHandle{}) {
    return RawResource{RawResource::State::kMissing, {}};
  }
  const std::uint32_t size = os.SizeofResource(process.module, found);
  if (size == 0) {
    return RawResource{RawResource::State::kUnusable, {}};
  }
  const LoadedResource loaded = os.LoadResource(process.module, found);
  if (loaded == LoadedResource{}) {
    return RawResource{RawResource::State::kUnusable, {}};
  }
  const std::byte* bytes = os.LockResource(loaded);
  if (bytes == nullptr) {
    return RawResource{RawResource::State::kUnusable, {}};
  }
  return RawResource{RawResource::State::kFound, std::span<const std::byte>(bytes, size)};
}

}  // namespace sp
