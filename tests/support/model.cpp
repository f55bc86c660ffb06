#include "model.h"

#include <cstring>

#include "text_codec.h"

namespace sp::test {

void Model::AddCatalogue(std::uint16_t language, std::map<std::uint32_t, std::u16string> entries) {
  for (auto& [id, text] : entries) {
    strings[language][id] = std::move(text);
  }
}

void Model::AddProduct(const std::u16string& code, std::u16string name, std::u16string language,
                       std::u16string version) {
  products[code] = FakeProduct{5,
                               {{u"ProductName", std::move(name)},
                                {u"Language", std::move(language)},
                                {u"VersionString", std::move(version)}},
                               {},
                               std::nullopt};
}

void Model::AddResource(std::u16string type, std::u16string name, std::string_view bytes) {
  resources[{std::move(type), std::move(name)}] = FakeResource{Bytes(bytes), {}, false, false};
}

std::string Model::FileText(const std::u16string& path) const {
  const auto it = files.find(path);
  return it == files.end() ? std::string() : Text(it->second.data);
}

std::u16string Model::FullPath(std::u16string path) const {
  for (char16_t& c : path) {
    c = c == u'/' ? u'\\' : c;  // Windows takes either
  }
  if ((path.size() >= 2 && path[1] == u':') || path.starts_with(u"\\\\")) {
    return path;  // a drive path or a UNC path
  }
  if (path.starts_with(u"\\")) {
    return currentDirectory.substr(0, 2) + path;  // the root of the current drive
  }
  return currentDirectory + u"\\" + path;
}

bool Model::ParentIsDirectory(const std::u16string& path) const {
  const auto slash = path.find_last_of(u"\\/");
  const std::u16string parent = slash == std::u16string::npos ? u"" : path.substr(0, slash);
  if (parent.empty() || (parent.size() == 2 && parent[1] == u':')) {
    return true;  // the current directory or a drive root
  }
  const auto it = files.find(parent);
  return it != files.end() && it->second.directory;
}

std::optional<std::vector<std::byte>> Model::StringBlock(std::uint16_t language,
                                                         std::uint32_t block) const {
  const auto tables = strings.find(language);
  if (tables == strings.end()) {
    return std::nullopt;
  }
  const std::map<std::uint32_t, std::u16string>& table = tables->second;
  const std::uint32_t first = (block - 1u) * 16u;
  bool any = false;
  std::u16string units;
  for (std::uint32_t id = first; id < first + 16; ++id) {
    const auto entry = table.find(id);
    const std::u16string text = entry == table.end() ? u"" : entry->second;
    any = any || entry != table.end();
    units += static_cast<char16_t>(text.size());
    units += text;
  }
  if (!any) {
    return std::nullopt;
  }
  std::vector<std::byte> bytes(units.size() * 2);
  std::memcpy(bytes.data(), units.data(), bytes.size());
  return bytes;
}

}  // namespace sp::test
