#include "recording_platform.h"

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "messages/run_log.h"

namespace sp::test {

std::string Utf8(std::u16string_view text) {
  return ToUtf8(text);
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
constexpr std::uint32_t kErrorResourceNameNotFound = 1814;
constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
constexpr std::u16string_view kStringTable = u"#6";

class RecordingLock final : public Lock {
 public:
  RecordingLock(CallLog& log, int& held) : log_(log), held_(held) {}
  void Enter() override {
    ++held_;
    log_.Add(Call{"EnterLock", {}});
  }
  void Leave() override {
    --held_;
    log_.Add(Call{"LeaveLock", {}});
  }

 private:
  CallLog& log_;
  int& held_;
};

// The string block `block` of one language as the resource compiler lays it out:
// sixteen counted strings. None when the language has no entry in the block.
std::optional<std::vector<std::byte>> StringBlock(
    const std::map<std::uint32_t, std::u16string>& table, std::uint32_t block) {
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

}  // namespace

void PrintTo(const Call& call, std::ostream* out) {
  *out << call.name << "(";
  for (std::size_t i = 0; i < call.args.size(); ++i) {
    *out << (i == 0 ? "" : ", ") << call.args[i];
  }
  *out << ")";
}

// ---- the log ----

std::vector<Call> CallLog::Of(std::initializer_list<std::string_view> names) const {
  std::vector<Call> out;
  for (const Call& call : calls_) {
    if (std::find(names.begin(), names.end(), call.name) != names.end()) {
      out.push_back(call);
    }
  }
  return out;
}

std::vector<std::vector<std::string>> CallLog::ArgsOf(std::string_view name) const {
  std::vector<std::vector<std::string>> out;
  for (const Call& call : calls_) {
    if (call.name == name) {
      out.push_back(call.args);
    }
  }
  return out;
}

std::size_t CallLog::Count(std::string_view name) const {
  return static_cast<std::size_t>(
      std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.name == name; }));
}

std::vector<std::string> CallLog::Names() const {
  std::vector<std::string> out;
  for (const Call& call : calls_) {
    out.push_back(call.name);
  }
  return out;
}

std::vector<Box> CallLog::Boxes() const {
  std::vector<Box> out;
  for (const auto& args : ArgsOf("MessageBoxW")) {
    out.push_back(Box{args.at(0), args.at(1),
                      static_cast<std::uint32_t>(std::stoul(args.at(2), nullptr, 16))});
  }
  return out;
}

std::vector<std::string> CallLog::BoxTexts() const {
  std::vector<std::string> out;
  for (const Box& box : Boxes()) {
    out.push_back(box.text);
  }
  return out;
}

// ---- the model ----

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

// ---- the invariants every test keeps ----

std::vector<std::string> RecordingPlatform::Leftovers() const {
  std::vector<std::string> left;
  for (const auto& [handle, file] : openFiles_) {
    left.push_back("file left open: " + S(file.path));
  }
  for (const auto& [handle, path] : openFinds_) {
    left.push_back("search left open: " + S(path));
  }
  for (const auto& [handle, path] : openSummaries_) {
    left.push_back("summary information left open: " + S(path));
  }
  if (locksHeld_ != 0) {
    left.push_back("lock left held");
  }
  for (const std::u16string& path : created_) {
    if (model.Exists(path) && S(path).find(".partial") != std::string::npos) {
      left.push_back("staging file left: " + S(path));
    }
  }
  return left;
}

RecordingPlatform::~RecordingPlatform() {
  for (const std::string& leftover : Leftovers()) {
    ADD_FAILURE() << leftover;
  }
}

void RecordingPlatform::Record(std::string name, std::vector<std::string> args) {
  log.Add(Call{std::move(name), std::move(args)});
}

std::string RecordingPlatform::ModuleRole(ModuleHandle module) const {
  return module == model.module ? "module" : "module " + Hex(static_cast<std::uintptr_t>(module));
}

std::string RecordingPlatform::FileRole(FileHandle file) const {
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  return it == openFiles_.end() ? "closed file" : "file " + S(it->second.path);
}

std::string RecordingPlatform::FoundRole(std::uintptr_t handle) const {
  if (handle == 0 || handle > found_.size()) {
    return "no resource";
  }
  const auto& [type, name] = found_[handle - 1].key;
  return "resource " + S(type) + " " + S(name);
}

std::u16string RecordingPlatform::FullPath(std::u16string path) const {
  for (char16_t& c : path) {
    c = c == u'/' ? u'\\' : c;  // Windows takes either
  }
  if ((path.size() >= 2 && path[1] == u':') || path.starts_with(u"\\\\")) {
    return path;  // a drive path or a UNC path
  }
  if (path.starts_with(u"\\")) {
    return model.currentDirectory.substr(0, 2) + path;  // the root of the current drive
  }
  return model.currentDirectory + u"\\" + path;
}

bool RecordingPlatform::ParentIsDirectory(const std::u16string& path) const {
  const auto slash = path.find_last_of(u"\\/");
  const std::u16string parent = slash == std::u16string::npos ? u"" : path.substr(0, slash);
  if (parent.empty() || (parent.size() == 2 && parent[1] == u':')) {
    return true;  // the current directory or a drive root
  }
  const auto it = model.files.find(parent);
  return it != model.files.end() && it->second.directory;
}

// ---- resources ----

ResourceHandle RecordingPlatform::FindResourceW(ModuleHandle m, const std::u16string& name,
                                                const std::u16string& type) {
  Record("FindResourceW", {ModuleRole(m), S(name), S(type)});
  const auto it = model.resources.find({type, name});
  if (m != model.module || it == model.resources.end()) {
    model.lastError = kErrorResourceNameNotFound;
    return ResourceHandle{};
  }
  const FakeResource& r = it->second;
  found_.push_back(Found{{type, name}, r.bytes, r.reportedSize, r.loadFails, r.lockFails});
  return ResourceHandle(found_.size());
}

ResourceHandle RecordingPlatform::FindResourceExW(ModuleHandle m, const std::u16string& type,
                                                  const std::u16string& name,
                                                  std::uint16_t language) {
  Record("FindResourceExW", {ModuleRole(m), S(type), S(name), N(language)});
  if (const auto raw = model.resources.find({type, name});
      m == model.module && raw != model.resources.end()) {
    const FakeResource& r = raw->second;
    found_.push_back(Found{{type, name}, r.bytes, r.reportedSize, r.loadFails, r.lockFails});
    return ResourceHandle(found_.size());
  }
  const auto table = model.strings.find(language);
  std::optional<std::vector<std::byte>> block;
  if (m == model.module && type == kStringTable && table != model.strings.end() &&
      name.starts_with(u"#")) {
    block = StringBlock(table->second, static_cast<std::uint32_t>(std::stoul(S(name.substr(1)))));
  }
  if (!block) {
    model.lastError = kErrorResourceNameNotFound;
    return ResourceHandle{};
  }
  found_.push_back(Found{{type, name}, std::move(*block), {}, false, false});
  return ResourceHandle(found_.size());
}

std::uint32_t RecordingPlatform::SizeofResource(ModuleHandle m, ResourceHandle resource) {
  const auto handle = static_cast<std::uintptr_t>(resource);
  Record("SizeofResource", {ModuleRole(m), FoundRole(handle)});
  const Found& r = found_.at(handle - 1);
  return r.reportedSize.value_or(static_cast<std::uint32_t>(r.bytes.size()));
}

LoadedResource RecordingPlatform::LoadResource(ModuleHandle m, ResourceHandle resource) {
  const auto handle = static_cast<std::uintptr_t>(resource);
  Record("LoadResource", {ModuleRole(m), FoundRole(handle)});
  if (found_.at(handle - 1).loadFails) {
    model.lastError = kErrorResourceDataNotFound;
    return LoadedResource{};
  }
  return LoadedResource(handle);
}

const std::byte* RecordingPlatform::LockResource(LoadedResource loaded) {
  const auto handle = static_cast<std::uintptr_t>(loaded);
  Record("LockResource", {FoundRole(handle)});
  const Found& r = found_.at(handle - 1);
  if (r.lockFails) {
    return nullptr;
  }
  static const std::byte empty{};
  return r.bytes.empty() ? &empty : r.bytes.data();
}

// ---- thread state and user interface ----

std::uint32_t RecordingPlatform::GetThreadLocale() {
  Record("GetThreadLocale", {});
  return model.threadLocale;
}

bool RecordingPlatform::SetThreadLocale(std::uint32_t locale) {
  Record("SetThreadLocale", {N(locale)});
  if (locale == 0) {
    model.lastError = 87;  // ERROR_INVALID_PARAMETER
    return false;
  }
  model.threadLocale = locale == win::kLocaleUserDefault ? model.userDefaultLocale : locale;
  return true;
}

std::uint32_t RecordingPlatform::GetUserDefaultLCID() {
  Record("GetUserDefaultLCID", {});
  return model.userDefaultLocale;
}

std::uint32_t RecordingPlatform::GetLastError() {
  Record("GetLastError", {});
  return model.lastError;
}

void RecordingPlatform::SetLastError(std::uint32_t code) {
  Record("SetLastError", {N(code)});
  model.lastError = code;
}

int RecordingPlatform::MessageBoxW(const std::u16string& text, const std::u16string& caption,
                                   std::uint32_t style) {
  Record("MessageBoxW", {S(text), S(caption), Hex(style)});
  return 1;
}

// ---- command line and environment ----

LocalTime RecordingPlatform::GetLocalTime() {
  Record("GetLocalTime", {});
  return model.localTime;
}

std::u16string RecordingPlatform::GetCommandLineW() {
  Record("GetCommandLineW", {});
  return model.commandLine;
}

std::optional<std::vector<std::u16string>> RecordingPlatform::CommandLineToArgvW(
    const std::u16string& line) {
  Record("CommandLineToArgvW", {S(line)});
  if (faults.splitFails) {
    return std::nullopt;
  }
  if (model.arguments) {
    return model.arguments;
  }
  // Blanks separate; double quotes group, and are dropped.
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
  Record("GetEnvironmentVariableW", {S(name)});
  const auto it = model.environment.find(name);
  if (it == model.environment.end()) {
    return std::nullopt;
  }
  return it->second;
}

std::unique_ptr<Lock> RecordingPlatform::CreateLock() {
  return std::make_unique<RecordingLock>(log, locksHeld_);
}

// ---- files ----

TempPathResult RecordingPlatform::GetTempPathW(std::uint32_t bufferLength) {
  Record("GetTempPathW", {N(bufferLength)});
  const auto result = static_cast<std::uint32_t>(model.tempPath.size());
  if (model.tempPath.empty()) {
    model.lastError = kErrorPathNotFound;
    return TempPathResult{0, u"", kErrorPathNotFound};
  }
  if (result >= bufferLength) {
    return TempPathResult{result + 1, u"", 0};
  }
  return TempPathResult{result, model.tempPath, 0};
}

FullPathResult RecordingPlatform::GetFullPathNameW(const std::u16string& path,
                                                   std::uint32_t bufferLength) {
  Record("GetFullPathNameW", {S(path), N(bufferLength)});
  const std::u16string full = FullPath(path);
  if (full.size() >= bufferLength) {
    return FullPathResult{static_cast<std::uint32_t>(full.size() + 1), u"", 0};
  }
  return FullPathResult{static_cast<std::uint32_t>(full.size()), full, 0};
}

std::optional<std::u16string> RecordingPlatform::GetShortPathNameW(const std::u16string& path) {
  Record("GetShortPathNameW", {S(path)});
  if (model.files.count(path) == 0) {
    model.lastError = win::kErrorFileNotFound;
    return std::nullopt;
  }
  const auto it = model.shortNames.find(path);
  return it == model.shortNames.end() ? path : it->second;
}

std::uint32_t RecordingPlatform::GetFileAttributesW(const std::u16string& path) {
  Record("GetFileAttributesW", {S(path)});
  if (const auto refused = faults.attributeErrors.find(path);
      refused != faults.attributeErrors.end()) {
    model.lastError = refused->second;
    return kInvalidFileAttributes;
  }
  if (!faults.deniedPrefix.empty() && path.starts_with(faults.deniedPrefix)) {
    model.lastError = win::kErrorAccessDenied;
    return kInvalidFileAttributes;
  }
  std::u16string key = path;
  if (key.size() > 3 && (key.back() == u'\\' || key.back() == u'/')) {
    key.pop_back();
  }
  if (key == u"\\" || key == u"." || (key.size() == 3 && key[1] == u':')) {
    return win::kFileAttributeDirectory;
  }
  const auto it = model.files.find(key);
  if (it == model.files.end()) {
    model.lastError = win::kErrorFileNotFound;
    return kInvalidFileAttributes;
  }
  std::uint32_t attributes =
      it->second.directory ? win::kFileAttributeDirectory : win::kFileAttributeNormal;
  return it->second.reparsePoint ? attributes | win::kFileAttributeReparsePoint : attributes;
}

bool RecordingPlatform::CreateDirectoryW(const std::u16string& path) {
  Record("CreateDirectoryW", {S(path)});
  // A drive root is there already, in the model or not.
  const bool driveRoot = path.size() == 3 && path[1] == u':' && path[2] == u'\\';
  if (faults.failingCreateDirectory.count(path) != 0 || model.files.count(path) != 0 || driveRoot ||
      !ParentIsDirectory(path)) {
    model.lastError = win::kErrorAccessDenied;
    return false;
  }
  model.files[path] = FakeFile{true, {}};
  return true;
}

FindHandle RecordingPlatform::FindFirstFileW(const std::u16string& path,
                                             std::uint32_t& attributes) {
  Record("FindFirstFileW", {S(path)});
  const auto it = model.files.find(path);
  // Windows refuses a path that ends in a backslash, a drive root among them.
  if (it == model.files.end() || path.ends_with(u'\\')) {
    model.lastError = win::kErrorFileNotFound;
    return kInvalidFind;
  }
  attributes = it->second.directory ? win::kFileAttributeDirectory : win::kFileAttributeNormal;
  openFinds_[nextHandle_] = path;
  return FindHandle(nextHandle_++);
}

bool RecordingPlatform::FindClose(FindHandle find) {
  const auto it = openFinds_.find(static_cast<std::uintptr_t>(find));
  Record("FindClose", {it == openFinds_.end() ? "closed search" : "find " + S(it->second)});
  if (it == openFinds_.end()) {
    return false;
  }
  openFinds_.erase(it);
  return true;
}

bool RecordingPlatform::DeleteFileW(const std::u16string& path) {
  Record("DeleteFileW", {S(path)});
  const auto it = model.files.find(path);
  if (it == model.files.end() || it->second.directory || faults.failingDeletes.count(path) != 0) {
    model.lastError = it == model.files.end() ? win::kErrorFileNotFound : win::kErrorAccessDenied;
    return false;
  }
  model.files.erase(it);
  return true;
}

bool RecordingPlatform::MoveFileReplaceW(const std::u16string& from, const std::u16string& to) {
  Record("MoveFileReplaceW", {S(from), S(to)});
  const auto source = model.files.find(from);
  const auto target = model.files.find(to);
  if (faults.failingMoves.count(to) != 0 || source == model.files.end() ||
      (target != model.files.end() && target->second.directory) || !ParentIsDirectory(to)) {
    model.lastError = win::kErrorAccessDenied;
    return false;
  }
  FakeFile moved = std::move(source->second);
  model.files.erase(source);
  model.files[to] = std::move(moved);
  return true;
}

FileHandle RecordingPlatform::CreateFileW(const std::u16string& path, std::uint32_t access,
                                          std::uint32_t share, std::uint32_t disposition,
                                          std::uint32_t attributes) {
  Record("CreateFileW", {S(path), Hex(access), N(share), N(disposition), Hex(attributes)});
  if (const auto refused = faults.openErrors.find(path); refused != faults.openErrors.end()) {
    model.lastError = refused->second;
    return kInvalidFile;
  }
  if (const auto refused = faults.reopenErrors.find(path);
      disposition == win::kOpenExisting && refused != faults.reopenErrors.end()) {
    model.lastError = refused->second;
    return kInvalidFile;
  }
  if (!ParentIsDirectory(path)) {
    model.lastError = kErrorPathNotFound;
    return kInvalidFile;
  }
  if (path.size() == 3 && path[1] == u':' && (attributes & win::kFileFlagBackupSemantics) != 0) {
    openFiles_[nextHandle_] = OpenFile{path, 0, 0, false};  // a drive root
    return FileHandle(nextHandle_++);
  }
  const auto it = model.files.find(path);
  if (it != model.files.end() && it->second.directory &&
      (attributes & win::kFileFlagBackupSemantics) == 0) {
    model.lastError = win::kErrorAccessDenied;
    return kInvalidFile;
  }
  const bool existed = it != model.files.end();
  if (disposition == win::kOpenExisting && !existed) {
    model.lastError = win::kErrorFileNotFound;
    return kInvalidFile;
  }
  if (disposition == win::kCreateNew && existed) {
    model.lastError = win::kErrorFileExists;
    return kInvalidFile;
  }
  if (!existed || disposition == win::kCreateAlways) {
    model.files[path] = FakeFile{false, {}};
    model.files[path].index = nextIndex_++;
    created_.insert(path);
  }
  model.lastError = existed && disposition != win::kCreateNew ? win::kErrorAlreadyExists : 0;
  openFiles_[nextHandle_] =
      OpenFile{path, 0, 0, (access & (win::kGenericWrite | win::kFileWriteData)) != 0};
  return FileHandle(nextHandle_++);
}

std::optional<std::uint64_t> RecordingPlatform::SetFilePointerEx(FileHandle file,
                                                                 std::int64_t distance,
                                                                 std::uint32_t method) {
  Record("SetFilePointerEx", {FileRole(file), N(distance), N(method)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return std::nullopt;
  }
  const FakeFile& stored = model.files[it->second.path];
  const std::int64_t size = static_cast<std::int64_t>(stored.hole + stored.data.size());
  const std::int64_t base = method == win::kFileEnd ? size : 0;
  if (base + distance < 0) {
    model.lastError = 131;  // ERROR_NEGATIVE_SEEK
    return std::nullopt;
  }
  it->second.position = static_cast<std::uint64_t>(base + distance);
  return it->second.position;
}

ReadResult RecordingPlatform::ReadFile(FileHandle file, std::span<std::byte> buffer) {
  Record("ReadFile", {FileRole(file), N(static_cast<std::int64_t>(buffer.size()))});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return ReadResult{false, 0, kErrorInvalidHandle};
  }
  OpenFile& open = it->second;
  if (const auto refused = faults.readErrors.find(open.path); refused != faults.readErrors.end()) {
    model.lastError = refused->second;
    return ReadResult{false, 0, refused->second};
  }
  const FakeFile& stored = model.files[open.path];
  std::uint32_t read = 0;
  for (; read < buffer.size() && open.position < stored.hole + stored.data.size(); ++read) {
    buffer[read] =
        open.position < stored.hole ? std::byte{0} : stored.data[open.position - stored.hole];
    ++open.position;
  }
  return ReadResult{true, read, 0};
}

WriteResult RecordingPlatform::WriteFile(FileHandle file, std::span<const std::byte> bytes) {
  Record("WriteFile", {FileRole(file), N(static_cast<std::int64_t>(bytes.size()))});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return WriteResult{false, 0, kErrorInvalidHandle};
  }
  OpenFile& open = it->second;
  const auto nth = std::make_pair(open.path, ++open.writes);
  if (const auto failing = faults.failingWrites.find(nth); failing != faults.failingWrites.end()) {
    model.lastError = failing->second;
    return WriteResult{false, 0, failing->second};
  }
  std::size_t accepted = std::min<std::uint64_t>(bytes.size(), faults.diskSpace);
  bool ok = accepted == bytes.size();
  if (const auto partial = faults.partialWrites.find(nth); partial != faults.partialWrites.end()) {
    accepted = std::min<std::size_t>(accepted, partial->second);
    ok = true;
  }
  faults.diskSpace -= accepted;
  FakeFile& stored = model.files[open.path];
  const std::uint64_t at = open.position - stored.hole;  // writes land behind any hole
  if (stored.data.size() < at + accepted) {
    stored.data.resize(at + accepted);
  }
  std::copy_n(bytes.begin(), accepted, stored.data.begin() + static_cast<std::ptrdiff_t>(at));
  open.position += accepted;
  if (!ok) {
    model.lastError = kErrorDiskFull;
  }
  return WriteResult{ok, static_cast<std::uint32_t>(accepted), ok ? 0 : kErrorDiskFull};
}

bool RecordingPlatform::SetEndOfFile(FileHandle file) {
  Record("SetEndOfFile", {FileRole(file)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end() || faults.setEndOfFileFails) {
    model.lastError = win::kErrorAccessDenied;
    return false;
  }
  FakeFile& stored = model.files[it->second.path];
  if (it->second.position < stored.hole) {
    stored.hole = it->second.position;
    stored.data.clear();
  } else {
    stored.data.resize(it->second.position - stored.hole);
  }
  return true;
}

bool RecordingPlatform::FlushFileBuffers(FileHandle file) {
  Record("FlushFileBuffers", {FileRole(file)});
  if (openFiles_.count(static_cast<std::uintptr_t>(file)) == 0 || faults.flushError) {
    model.lastError = faults.flushError.value_or(kErrorInvalidHandle);
    return false;
  }
  return true;
}

std::optional<FileInformation> RecordingPlatform::GetFileInformationByHandle(FileHandle file) {
  Record("GetFileInformationByHandle", {FileRole(file)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return std::nullopt;
  }
  const std::u16string& path = it->second.path;
  // One volume per drive letter.
  const std::uint32_t volume = path.size() >= 2 && path[1] == u':' ? 0xD0000000u + path[0] : 0;
  const auto stored = model.files.find(path);
  if (stored == model.files.end()) {
    return FileInformation{win::kFileAttributeDirectory, 1, volume, 0, 0};  // a drive root
  }
  const FakeFile& found = stored->second;
  std::uint32_t attributes =
      found.directory ? win::kFileAttributeDirectory : win::kFileAttributeNormal;
  if (found.reparsePoint) {
    attributes |= win::kFileAttributeReparsePoint;
  }
  return FileInformation{attributes, found.links, volume, found.index,
                         found.hole + found.data.size()};
}

std::optional<std::u16string> RecordingPlatform::GetFinalPathNameByHandleW(FileHandle file) {
  Record("GetFinalPathNameByHandleW", {FileRole(file)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return std::nullopt;
  }
  const std::u16string& path = it->second.path;
  if (const auto stored = model.files.find(path);
      stored != model.files.end() && stored->second.leadsTo) {
    return u"\\\\?\\" + *stored->second.leadsTo;
  }
  // A file in a folder whose final path lies elsewhere (a folder named by its
  // short form, a subst drive) has its final path there too.
  const std::size_t slash = path.find_last_of(u'\\');
  if (const auto folder = model.files.find(path.substr(0, slash));
      slash != std::u16string::npos && folder != model.files.end() && folder->second.leadsTo) {
    return u"\\\\?\\" + *folder->second.leadsTo + path.substr(slash);
  }
  return u"\\\\?\\" + FullPath(path);
}

bool RecordingPlatform::SetFileDispositionDelete(FileHandle file) {
  Record("SetFileDispositionDelete", {FileRole(file)});
  const auto it = openFiles_.find(static_cast<std::uintptr_t>(file));
  if (it == openFiles_.end()) {
    model.lastError = kErrorInvalidHandle;
    return false;
  }
  it->second.deleteOnClose = true;
  return true;
}

bool RecordingPlatform::CloseHandle(FileHandle file) {
  Record("CloseHandle", {FileRole(file)});
  if (const auto it = openFiles_.find(static_cast<std::uintptr_t>(file)); it != openFiles_.end()) {
    const std::u16string& path = it->second.path;
    if (it->second.deleteOnClose) {
      model.files.erase(path);
    } else if (it->second.forWriting) {
      if (const auto swap = faults.replacedAfterWrite.find(path);
          swap != faults.replacedAfterWrite.end()) {
        model.files[path].data = Bytes(swap->second);
      }
      if (faults.swappedAfterWrite.count(path) != 0 && model.Exists(path)) {
        model.files[path].index = nextIndex_++;
      }
    }
  }
  const bool open = openFiles_.erase(static_cast<std::uintptr_t>(file)) == 1;
  if (!open || faults.closeError) {
    model.lastError = faults.closeError.value_or(kErrorInvalidHandle);
    return false;
  }
  return true;
}

// ---- Windows Installer ----

SummaryOpenResult RecordingPlatform::MsiGetSummaryInformationW(const std::u16string& packagePath,
                                                               std::uint32_t updateCount) {
  Record("MsiGetSummaryInformationW", {S(packagePath), N(updateCount)});
  // The installer finds a file by its short name as well.
  bool found = model.files.count(packagePath) != 0;
  for (const auto& [longPath, shortPath] : model.shortNames) {
    found = found || (shortPath == packagePath && model.files.count(longPath) != 0);
  }
  std::uint32_t status = found ? 0 : kErrorOpenFailed;
  status = faults.summaryOpenStatus.value_or(status);
  if (status != 0) {
    return SummaryOpenResult{status, MsiHandle{}};
  }
  const auto handle = static_cast<std::uint32_t>(nextHandle_++);
  openSummaries_[handle] = packagePath;
  return SummaryOpenResult{0, MsiHandle(handle)};
}

InstallerText RecordingPlatform::MsiSummaryInfoGetPropertyW(MsiHandle summary,
                                                            std::uint32_t property,
                                                            std::uint32_t bufferLength) {
  const auto it = openSummaries_.find(static_cast<std::uint32_t>(summary));
  Record("MsiSummaryInfoGetPropertyW",
         {it == openSummaries_.end() ? "closed summary" : "summary " + S(it->second), N(property),
          N(bufferLength)});
  const auto length = static_cast<std::uint32_t>(model.summaryText.size());
  if (!faults.summaryStatuses.empty()) {
    const std::uint32_t status = faults.summaryStatuses.front();
    faults.summaryStatuses.pop_front();
    return InstallerText{status, u"", length};
  }
  if (length >= bufferLength) {
    return InstallerText{win::kErrorMoreData, model.summaryText.substr(0, bufferLength - 1),
                         length};
  }
  return InstallerText{0, model.summaryText, length};
}

std::uint32_t RecordingPlatform::MsiCloseHandle(MsiHandle handle) {
  const auto it = openSummaries_.find(static_cast<std::uint32_t>(handle));
  Record("MsiCloseHandle",
         {it == openSummaries_.end() ? "closed summary" : "summary " + S(it->second)});
  if (it == openSummaries_.end()) {
    return kErrorInvalidHandle;
  }
  openSummaries_.erase(it);
  return 0;
}

int RecordingPlatform::MsiQueryProductStateW(const std::u16string& productCode) {
  Record("MsiQueryProductStateW", {S(productCode)});
  const auto it = model.products.find(productCode);
  return it == model.products.end() ? -1 : it->second.state;
}

InstallerText RecordingPlatform::MsiGetProductInfoW(const std::u16string& productCode,
                                                    const std::u16string& attribute,
                                                    std::uint32_t bufferLength) {
  Record("MsiGetProductInfoW", {S(productCode), S(attribute), N(bufferLength)});
  const auto product = model.products.find(productCode);
  if (product == model.products.end()) {
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
  Record("MsiEnableLogW", {Hex(logMode), S(logFile), N(attributes)});
  installerLog_ = logFile;
  return 0;
}

std::uint32_t RecordingPlatform::MsiConfigureProductExW(const std::u16string& productCode,
                                                        int installLevel, int installState,
                                                        const std::u16string& commandLine) {
  Record("MsiConfigureProductExW",
         {S(productCode), N(installLevel), N(installState), S(commandLine)});
  // The installer writes a line into the log that is on, where it finds the file.
  if (const auto written = model.files.find(installerLog_);
      written != model.files.end() && !written->second.directory) {
    const std::vector<std::byte> line = Bytes("configure " + S(productCode) + "\r\n");
    written->second.data.insert(written->second.data.end(), line.begin(), line.end());
  }
  FakeProduct& product = model.products[productCode];
  std::uint32_t result = 0;
  if (!product.configureResults.empty()) {
    result = product.configureResults.front();
    product.configureResults.pop_front();
  }
  if (result == 0 || result == win::kErrorSuccessRebootInitiated ||
      result == win::kErrorSuccessRebootRequired) {
    product.info[u"VersionString"] = product.versionAfterPatch.value_or(model.strings[1033][700]);
  }
  return result;
}

int RecordingPlatform::MsiSetInternalUI(int uiLevel) {
  Record("MsiSetInternalUI", {N(uiLevel)});
  return 5;  // INSTALLUILEVEL_BASIC
}

// ---- who can see the process ----

namespace {
constexpr std::uintptr_t kWindowStation = 0x70;
}  // namespace

bool RecordingPlatform::QueryFails(const std::string& name) {
  const auto it = faults.failingQueries.find(name);
  if (it == faults.failingQueries.end()) {
    return false;
  }
  model.lastError = it->second;
  return true;
}

std::optional<OsVersion> RecordingPlatform::RtlGetVersion() {
  Record("RtlGetVersion", {});
  return model.osVersion;
}

WindowStationHandle RecordingPlatform::GetProcessWindowStation() {
  Record("GetProcessWindowStation", {});
  return QueryFails("GetProcessWindowStation") ? WindowStationHandle{}
                                               : WindowStationHandle(kWindowStation);
}

std::optional<std::uint32_t> RecordingPlatform::GetUserObjectInformationW(
    WindowStationHandle station) {
  const bool known = station == WindowStationHandle(kWindowStation);
  Record("GetUserObjectInformationW", {known ? "window station" : "no window station"});
  if (!known) {
    model.lastError = kErrorInvalidHandle;
    return std::nullopt;
  }
  if (QueryFails("GetUserObjectInformationW")) {
    return std::nullopt;
  }
  return model.windowStationFlags;
}

std::uint32_t RecordingPlatform::GetCurrentProcessId() {
  Record("GetCurrentProcessId", {});
  return model.processId;
}

std::optional<std::uint32_t> RecordingPlatform::ProcessIdToSessionId(std::uint32_t processId) {
  Record("ProcessIdToSessionId", {N(processId)});
  if (processId != model.processId) {
    model.lastError = 87;  // ERROR_INVALID_PARAMETER
    return std::nullopt;
  }
  if (QueryFails("ProcessIdToSessionId")) {
    return std::nullopt;
  }
  return model.sessionId;
}

std::optional<bool> RecordingPlatform::GetTokenElevation() {
  Record("GetTokenElevation", {});
  if (QueryFails("GetTokenElevation")) {
    return std::nullopt;
  }
  return model.elevated;
}

std::uint16_t RecordingPlatform::GetUserDefaultUILanguage() {
  Record("GetUserDefaultUILanguage", {});
  return model.uiLanguage.value_or(static_cast<std::uint16_t>(model.threadLocale));
}

}  // namespace sp::test
