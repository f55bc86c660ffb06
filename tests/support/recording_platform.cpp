#include "recording_platform.h"

#include <algorithm>
#include <cstring>

namespace sp::test {

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf16(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::uint32_t c = b;
    int extra = 0;
    if (b >= 0xF0) {
      c = b & 0x07;
      extra = 3;
    } else if (b >= 0xE0) {
      c = b & 0x0F;
      extra = 2;
    } else if (b >= 0xC0) {
      c = b & 0x1F;
      extra = 1;
    }
    ++i;
    for (int k = 0; k < extra && i < text.size(); ++k, ++i) {
      c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::vector<std::byte> Bytes(std::string_view text) {
  std::vector<std::byte> out(text.size());
  std::memcpy(out.data(), text.data(), text.size());
  return out;
}

std::string Text(const std::vector<std::byte>& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

namespace {

std::string Hex(std::uintptr_t value) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  do {
    out.insert(out.begin(), digits[value % 16]);
    value /= 16;
  } while (value != 0);
  return "0x" + out;
}

std::string Args(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& part : parts) {
    if (!out.empty()) {
      out += ", ";
    }
    out += part;
  }
  return out;
}

std::string S(const std::u16string& text) {
  return Utf8(text);
}
std::string N(std::int64_t value) {
  return std::to_string(value);
}

constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorDiskFull = 112;
constexpr std::uint32_t kErrorOpenFailed = 110;
constexpr std::uint32_t kErrorInvalidHandle = 6;

}  // namespace

RecordingPlatform::RecordingPlatform() {
  files[u"C:\\T"] = FakeFile{true, {}};
}

void RecordingPlatform::Record(std::string call) {
  log.push_back(std::move(call));
}

std::vector<std::string> RecordingPlatform::Calls(
    std::initializer_list<std::string_view> prefixes) const {
  std::vector<std::string> out;
  for (const auto& call : log) {
    for (auto prefix : prefixes) {
      if (call.compare(0, prefix.size(), prefix) == 0) {
        out.push_back(call);
        break;
      }
    }
  }
  return out;
}

void RecordingPlatform::AddCatalogue(std::uint16_t language,
                                     std::map<std::uint32_t, std::u16string> entries) {
  for (auto& [id, text] : entries) {
    strings[language][id] = std::move(text);
  }
}

void RecordingPlatform::AddResource(std::u16string type, std::u16string name,
                                    std::string_view bytes) {
  resources[{std::move(type), std::move(name)}] = FakeResource{Bytes(bytes), {}, false, false};
}

std::string RecordingPlatform::FileText(const std::u16string& path) const {
  const auto it = files.find(path);
  return it == files.end() ? std::string() : Text(it->second.data);
}

std::u16string RecordingPlatform::Parent(const std::u16string& path) const {
  const auto slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

bool RecordingPlatform::ParentIsDirectory(const std::u16string& path) const {
  const std::u16string parent = Parent(path);
  if (parent.empty() || (parent.size() == 2 && parent[1] == u':')) {
    return true;  // the current directory or a drive root
  }
  const auto it = files.find(parent);
  return it != files.end() && it->second.directory;
}

// ---- resources ----

ResourceHandle RecordingPlatform::FindResourceW(ModuleHandle m, const std::u16string& name,
                                                const std::u16string& type) {
  Record("FindResourceW(" + Args({Hex(static_cast<std::uintptr_t>(m)), S(name), S(type)}) + ")");
  const auto key = std::make_pair(type, name);
  if (m != module || resources.count(key) == 0) {
    lastError = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
    return ResourceHandle{};
  }
  resourceKeys_.push_back(key);
  return ResourceHandle(resourceKeys_.size());
}

std::uint32_t RecordingPlatform::SizeofResource(ModuleHandle, ResourceHandle resource) {
  Record("SizeofResource(" + N(static_cast<std::int64_t>(resource)) + ")");
  const auto& r = resources.at(resourceKeys_.at(static_cast<std::size_t>(resource) - 1));
  return r.reportedSize.value_or(static_cast<std::uint32_t>(r.bytes.size()));
}

LoadedResource RecordingPlatform::LoadResource(ModuleHandle, ResourceHandle resource) {
  Record("LoadResource(" + N(static_cast<std::int64_t>(resource)) + ")");
  const auto& r = resources.at(resourceKeys_.at(static_cast<std::size_t>(resource) - 1));
  if (r.loadFails) {
    lastError = 1812;  // ERROR_RESOURCE_DATA_NOT_FOUND
    return LoadedResource{};
  }
  return LoadedResource(static_cast<std::uintptr_t>(resource));
}

const std::byte* RecordingPlatform::LockResource(LoadedResource loaded) {
  Record("LockResource(" + N(static_cast<std::int64_t>(loaded)) + ")");
  const auto& r = resources.at(resourceKeys_.at(static_cast<std::size_t>(loaded) - 1));
  if (r.lockFails) {
    return nullptr;
  }
  static const std::byte empty{};
  return r.bytes.empty() ? &empty : r.bytes.data();
}

std::optional<std::span<const std::byte>> RecordingPlatform::FindStringBlock(
    ModuleHandle m, std::uint16_t block, std::uint16_t language) {
  Record("FindStringBlock(" + Args({Hex(static_cast<std::uintptr_t>(m)), N(block), N(language)}) +
         ")");
  const auto table = strings.find(language);
  if (m != module || table == strings.end()) {
    lastError = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
    return std::nullopt;
  }
  const std::uint32_t first = (block - 1u) * 16u;
  bool any = false;
  std::u16string units;
  for (std::uint32_t id = first; id < first + 16; ++id) {
    const auto entry = table->second.find(id);
    const std::u16string text = entry == table->second.end() ? u"" : entry->second;
    any = any || entry != table->second.end();
    units += static_cast<char16_t>(text.size());
    units += text;
  }
  if (!any) {
    lastError = 1814;
    return std::nullopt;
  }
  auto& bytes = blocks_.emplace_back(units.size() * 2);
  std::memcpy(bytes.data(), units.data(), bytes.size());
  return std::span<const std::byte>(bytes);
}

// ---- thread state and user interface ----

std::uint32_t RecordingPlatform::GetThreadLocale() {
  Record("GetThreadLocale()");
  return threadLocale;
}

bool RecordingPlatform::SetThreadLocale(std::uint32_t locale) {
  Record("SetThreadLocale(" + N(locale) + ")");
  if (locale == 0) {
    lastError = 87;  // ERROR_INVALID_PARAMETER
    return false;
  }
  threadLocale = locale == 0x400 ? userDefaultLocale : locale;
  return true;
}

std::uint32_t RecordingPlatform::GetUserDefaultLCID() {
  Record("GetUserDefaultLCID()");
  return userDefaultLocale;
}

std::uint32_t RecordingPlatform::GetLastError() {
  Record("GetLastError()");
  return lastError;
}

void RecordingPlatform::SetLastError(std::uint32_t code) {
  Record("SetLastError(" + N(code) + ")");
  lastError = code;
}

int RecordingPlatform::MessageBoxW(const std::u16string& text, const std::u16string& caption,
                                   std::uint32_t style) {
  Record("MessageBoxW(" + Args({S(text), S(caption), Hex(style)}) + ")");
  boxes.push_back(Box{S(text), S(caption), style});
  return 1;
}

// ---- command line and environment ----

std::u16string RecordingPlatform::GetCommandLineW() {
  Record("GetCommandLineW()");
  return processCommandLine;
}

std::optional<std::vector<std::u16string>> RecordingPlatform::CommandLineToArgvW(
    const std::u16string& line) {
  Record("CommandLineToArgvW(" + S(line) + ")");
  if (splitFails) {
    return std::nullopt;
  }
  if (arguments) {
    return arguments;
  }
  // Blanks separate split; double quotes group, and are dropped.
  std::vector<std::u16string> split;
  std::u16string current;
  bool quoted = false;
  bool pending = false;
  for (char16_t c : line) {
    if (c == u'"') {
      quoted = !quoted;
      pending = true;
    } else if (c == u' ' && !quoted) {
      if (pending) {
        split.push_back(current);
      }
      current.clear();
      pending = false;
    } else {
      current += c;
      pending = true;
    }
  }
  if (pending) {
    split.push_back(current);
  }
  return split;
}

std::optional<std::u16string> RecordingPlatform::GetEnvironmentVariableW(
    const std::u16string& name) {
  Record("GetEnvironmentVariableW(" + S(name) + ")");
  const auto it = environment.find(name);
  if (it == environment.end()) {
    return std::nullopt;
  }
  return it->second;
}

namespace {

class RecordingLock final : public Lock {
 public:
  explicit RecordingLock(std::vector<std::string>& log) : log_(log) {}
  void Enter() override { log_.push_back("EnterLock()"); }
  void Leave() override { log_.push_back("LeaveLock()"); }

 private:
  std::vector<std::string>& log_;
};

}  // namespace

std::unique_ptr<Lock> RecordingPlatform::CreateLock() {
  return std::make_unique<RecordingLock>(log);
}

// ---- files ----

TempPathResult RecordingPlatform::GetTempPathW(std::uint32_t bufferLength) {
  Record("GetTempPathW(" + N(bufferLength) + ")");
  const auto result = static_cast<std::uint32_t>(tempPath.size());
  if (tempPath.empty()) {
    lastError = kErrorPathNotFound;
    return TempPathResult{0, u""};
  }
  if (result >= bufferLength) {
    return TempPathResult{result + 1, u""};
  }
  return TempPathResult{result, tempPath};
}

FullPathResult RecordingPlatform::GetFullPathNameW(const std::u16string& path,
                                                   std::uint32_t bufferLength) {
  Record("GetFullPathNameW(" + Args({S(path), N(bufferLength)}) + ")");
  const bool absolute = path.size() >= 2 && (path[1] == u':' || path[0] == u'\\');
  const std::u16string full = absolute ? path : currentDirectory + u"\\" + path;
  if (full.size() >= bufferLength) {
    return FullPathResult{static_cast<std::uint32_t>(full.size() + 1), u""};
  }
  return FullPathResult{static_cast<std::uint32_t>(full.size()), full};
}

std::uint32_t RecordingPlatform::GetFileAttributesW(const std::u16string& path) {
  Record("GetFileAttributesW(" + S(path) + ")");
  if (const auto refused = attributeErrors.find(path); refused != attributeErrors.end()) {
    lastError = refused->second;
    return kInvalidFileAttributes;
  }
  if (!deniedPrefix.empty() && path.compare(0, deniedPrefix.size(), deniedPrefix) == 0) {
    lastError = win::kErrorAccessDenied;
    return kInvalidFileAttributes;
  }
  std::u16string key = path;
  if (key.size() > 3 && (key.back() == u'\\' || key.back() == u'/')) {
    key.pop_back();
  }
  if (key == u"\\" || key == u"." || (key.size() == 3 && key[1] == u':')) {
    return win::kFileAttributeDirectory;
  }
  const auto it = files.find(key);
  if (it == files.end()) {
    lastError = win::kErrorFileNotFound;
    return kInvalidFileAttributes;
  }
  return it->second.directory ? win::kFileAttributeDirectory : win::kFileAttributeNormal;
}

bool RecordingPlatform::CreateDirectoryW(const std::u16string& path) {
  Record("CreateDirectoryW(" + S(path) + ")");
  if (failingCreateDirectory.count(path) != 0 || files.count(path) != 0 ||
      !ParentIsDirectory(path)) {
    lastError = win::kErrorAccessDenied;
    return false;
  }
  files[path] = FakeFile{true, {}};
  return true;
}

FindHandle RecordingPlatform::FindFirstFileW(const std::u16string& path,
                                             std::uint32_t& attributes) {
  Record("FindFirstFileW(" + S(path) + ")");
  const auto it = files.find(path);
  if (it == files.end()) {
    lastError = win::kErrorFileNotFound;
    return kInvalidFind;
  }
  attributes = it->second.directory ? win::kFileAttributeDirectory : win::kFileAttributeNormal;
  open_[nextHandle_] = OpenFile{path, 0};
  return FindHandle(nextHandle_++);
}

bool RecordingPlatform::FindClose(FindHandle find) {
  Record("FindClose(" + Hex(static_cast<std::uintptr_t>(find)) + ")");
  return open_.erase(static_cast<std::uintptr_t>(find)) == 1;
}

bool RecordingPlatform::DeleteFileW(const std::u16string& path) {
  Record("DeleteFileW(" + S(path) + ")");
  const auto it = files.find(path);
  if (it == files.end() || it->second.directory) {
    lastError = it == files.end() ? win::kErrorFileNotFound : win::kErrorAccessDenied;
    return false;
  }
  files.erase(it);
  return true;
}

bool RecordingPlatform::MoveFileReplaceW(const std::u16string& from, const std::u16string& to) {
  Record("MoveFileReplaceW(" + Args({S(from), S(to)}) + ")");
  const auto source = files.find(from);
  const auto target = files.find(to);
  if (failingMoves.count(to) != 0 || source == files.end() ||
      (target != files.end() && target->second.directory) || !ParentIsDirectory(to)) {
    lastError = win::kErrorAccessDenied;
    return false;
  }
  FakeFile moved = std::move(source->second);
  files.erase(source);
  files[to] = std::move(moved);
  return true;
}

FileHandle RecordingPlatform::CreateFileW(const std::u16string& path, std::uint32_t access,
                                          std::uint32_t share, std::uint32_t disposition,
                                          std::uint32_t attributes) {
  Record("CreateFileW(" + Args({S(path), Hex(access), N(share), N(disposition), Hex(attributes)}) +
         ")");
  if (const auto refused = openErrors.find(path); refused != openErrors.end()) {
    lastError = refused->second;
    return kInvalidFile;
  }
  if (!ParentIsDirectory(path)) {
    lastError = kErrorPathNotFound;
    return kInvalidFile;
  }
  const auto it = files.find(path);
  if (it != files.end() && it->second.directory) {
    lastError = win::kErrorAccessDenied;
    return kInvalidFile;
  }
  const bool existed = it != files.end();
  if (disposition == win::kCreateNew && existed) {
    lastError = win::kErrorFileExists;
    return kInvalidFile;
  }
  if (!existed || disposition == win::kCreateAlways) {
    files[path] = FakeFile{false, {}};
  }
  lastError = existed && disposition != win::kCreateNew ? win::kErrorAlreadyExists : 0;
  open_[nextHandle_] = OpenFile{path, 0};
  return FileHandle(nextHandle_++);
}

std::uint32_t RecordingPlatform::SetFilePointer(FileHandle file, std::int32_t distance,
                                                std::uint32_t method) {
  Record("SetFilePointer(" +
         Args({Hex(static_cast<std::uintptr_t>(file)), N(distance), N(method)}) + ")");
  const auto it = open_.find(static_cast<std::uintptr_t>(file));
  if (it == open_.end()) {
    lastError = kErrorInvalidHandle;
    return kInvalidSetFilePointer;
  }
  const auto size = static_cast<std::int64_t>(files[it->second.path].data.size());
  const std::int64_t base = method == win::kFileEnd ? size : 0;
  it->second.position = static_cast<std::uint32_t>(base + distance);
  return it->second.position;
}

WriteResult RecordingPlatform::WriteFile(FileHandle file, std::span<const std::byte> bytes) {
  Record("WriteFile(" +
         Args({Hex(static_cast<std::uintptr_t>(file)), std::to_string(bytes.size())}) + ")");
  const int call = ++writeCalls_;
  const auto it = open_.find(static_cast<std::uintptr_t>(file));
  if (it == open_.end()) {
    lastError = kErrorInvalidHandle;
    return WriteResult{false, 0};
  }
  if (const auto failing = failingWrites.find(call); failing != failingWrites.end()) {
    lastError = failing->second;
    return WriteResult{false, 0};
  }
  std::size_t accepted = std::min<std::uint64_t>(bytes.size(), diskSpace);
  bool ok = accepted == bytes.size();
  if (const auto partial = partialWrites.find(call); partial != partialWrites.end()) {
    accepted = std::min<std::size_t>(accepted, partial->second);
    ok = true;
  }
  diskSpace -= accepted;
  auto& data = files[it->second.path].data;
  if (data.size() < it->second.position + accepted) {
    data.resize(it->second.position + accepted);
  }
  std::copy_n(bytes.begin(), accepted, data.begin() + it->second.position);
  it->second.position += static_cast<std::uint32_t>(accepted);
  if (!ok) {
    lastError = kErrorDiskFull;
  }
  return WriteResult{ok, static_cast<std::uint32_t>(accepted)};
}

bool RecordingPlatform::SetEndOfFile(FileHandle file) {
  Record("SetEndOfFile(" + Hex(static_cast<std::uintptr_t>(file)) + ")");
  const auto it = open_.find(static_cast<std::uintptr_t>(file));
  if (it == open_.end() || setEndOfFileFails) {
    lastError = win::kErrorAccessDenied;
    return false;
  }
  files[it->second.path].data.resize(it->second.position);
  return true;
}

bool RecordingPlatform::FlushFileBuffers(FileHandle file) {
  Record("FlushFileBuffers(" + Hex(static_cast<std::uintptr_t>(file)) + ")");
  return open_.count(static_cast<std::uintptr_t>(file)) != 0;
}

bool RecordingPlatform::CloseHandle(FileHandle file) {
  Record("CloseHandle(" + Hex(static_cast<std::uintptr_t>(file)) + ")");
  return open_.erase(static_cast<std::uintptr_t>(file)) == 1 && !closeFails;
}

// ---- Windows Installer ----

SummaryOpenResult RecordingPlatform::MsiGetSummaryInformationW(const std::u16string& packagePath,
                                                               std::uint32_t updateCount) {
  Record("MsiGetSummaryInformationW(" + Args({S(packagePath), N(updateCount)}) + ")");
  std::uint32_t status = files.count(packagePath) != 0 ? 0 : kErrorOpenFailed;
  status = summaryOpenStatus.value_or(status);
  if (status != 0) {
    return SummaryOpenResult{status, MsiHandle{}};
  }
  const auto handle = static_cast<std::uint32_t>(nextHandle_++);
  openSummaries_.insert(handle);
  return SummaryOpenResult{0, MsiHandle(handle)};
}

InstallerText RecordingPlatform::MsiSummaryInfoGetPropertyW(MsiHandle summary,
                                                            std::uint32_t property,
                                                            std::uint32_t bufferLength) {
  Record("MsiSummaryInfoGetPropertyW(" +
         Args({Hex(static_cast<std::uint32_t>(summary)), N(property), N(bufferLength)}) + ")");
  const auto length = static_cast<std::uint32_t>(summaryText.size());
  if (!summaryStatuses.empty()) {
    const std::uint32_t status = summaryStatuses.front();
    summaryStatuses.pop_front();
    return InstallerText{status, u"", length};
  }
  if (length >= bufferLength) {
    return InstallerText{win::kErrorMoreData, summaryText.substr(0, bufferLength - 1), length};
  }
  return InstallerText{0, summaryText, length};
}

std::uint32_t RecordingPlatform::MsiCloseHandle(MsiHandle handle) {
  Record("MsiCloseHandle(" + Hex(static_cast<std::uint32_t>(handle)) + ")");
  return openSummaries_.erase(static_cast<std::uint32_t>(handle)) == 1 ? 0 : kErrorInvalidHandle;
}

int RecordingPlatform::MsiQueryProductStateW(const std::u16string& productCode) {
  Record("MsiQueryProductStateW(" + S(productCode) + ")");
  const auto it = products.find(productCode);
  return it == products.end() ? -1 : it->second.state;
}

InstallerText RecordingPlatform::MsiGetProductInfoW(const std::u16string& productCode,
                                                    const std::u16string& attribute,
                                                    std::uint32_t bufferLength) {
  Record("MsiGetProductInfoW(" + Args({S(productCode), S(attribute), N(bufferLength)}) + ")");
  const auto product = products.find(productCode);
  if (product == products.end()) {
    return InstallerText{1605, u"", bufferLength};  // ERROR_UNKNOWN_PRODUCT
  }
  const auto value = product->second.info.find(attribute);
  if (value == product->second.info.end()) {
    return InstallerText{1608, u"", bufferLength};  // ERROR_UNKNOWN_PROPERTY
  }
  const auto length = static_cast<std::uint32_t>(value->second.size());
  if (length >= bufferLength) {
    return InstallerText{win::kErrorMoreData, value->second.substr(0, bufferLength - 1), length};
  }
  return InstallerText{0, value->second, length};
}

std::uint32_t RecordingPlatform::MsiEnableLogW(std::uint32_t logMode, const std::u16string& logFile,
                                               std::uint32_t attributes) {
  Record("MsiEnableLogW(" + Args({Hex(logMode), S(logFile), N(attributes)}) + ")");
  return 0;
}

std::uint32_t RecordingPlatform::MsiConfigureProductExW(const std::u16string& productCode,
                                                        int installLevel, int installState,
                                                        const std::u16string& commandLine) {
  Record("MsiConfigureProductExW(" +
         Args({S(productCode), N(installLevel), N(installState), S(commandLine)}) + ")");
  auto& results = products[productCode].configureResults;
  if (results.empty()) {
    return 0;
  }
  const std::uint32_t result = results.front();
  results.pop_front();
  return result;
}

int RecordingPlatform::MsiSetInternalUI(int uiLevel) {
  Record("MsiSetInternalUI(" + N(uiLevel) + ")");
  return 5;  // INSTALLUILEVEL_BASIC
}

}  // namespace sp::test
