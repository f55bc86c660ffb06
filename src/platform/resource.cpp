#include "platform/resource.h"

namespace sp {

RawResource FindRawResource(Platform& os, ModuleHandle module, const std::u16string& name,
                            const std::u16string& type, std::optional<std::uint16_t> language) {
  const ResourceHandle found = language ? os.FindResourceExW(module, type, name, *language)
                                        : os.FindResourceW(module, name, type);
  if (found == ResourceHandle{}) {
    return RawResource{RawResource::State::kMissing, {}, LastErrorFailure(os)};
  }
  // An empty resource and a failed lock name no error code of their own.
  const std::uint32_t size = os.SizeofResource(module, found);
  if (size == 0) {
    return RawResource{RawResource::State::kUnusable, {}, Failure::WithoutCode()};
  }
  const LoadedResource loaded = os.LoadResource(module, found);
  if (loaded == LoadedResource{}) {
    return RawResource{RawResource::State::kUnusable, {}, LastErrorFailure(os)};
  }
  const std::byte* bytes = os.LockResource(loaded);
  if (bytes == nullptr) {
    return RawResource{RawResource::State::kUnusable, {}, Failure::WithoutCode()};
  }
  return RawResource{RawResource::State::kFound, std::span<const std::byte>(bytes, size)};
}

}  // namespace sp
