#include "recording_platform.h"

#include <gtest/gtest.h>

#include "text_codec.h"

namespace sp::test {

namespace {

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

}  // namespace

// ---- the invariants every test keeps ----

std::vector<std::string> RecordingPlatform::Leftovers() const {
  std::vector<std::string> left;
  for (const auto& [handle, file] : openFiles_) {
    left.push_back("file left open: " + Utf8(file.path));
  }
  for (const auto& [handle, path] : openFinds_) {
    left.push_back("search left open: " + Utf8(path));
  }
  for (const auto& [handle, path] : openSummaries_) {
    left.push_back("summary information left open: " + Utf8(path));
  }
  if (locksHeld_ != 0) {
    left.push_back("lock left held");
  }
  for (const std::u16string& path : created_) {
    if (model.Exists(path) && Utf8(path).find(".partial") != std::string::npos) {
      left.push_back("staging file left: " + Utf8(path));
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
  return it == openFiles_.end() ? "closed file" : "file " + Utf8(it->second.path);
}

std::string RecordingPlatform::FoundRole(std::uintptr_t handle) const {
  if (handle == 0 || handle > found_.size()) {
    return "no resource";
  }
  const auto& [type, name] = found_[handle - 1].key;
  return "resource " + Utf8(type) + " " + Utf8(name);
}

// ---- resources ----

ResourceHandle RecordingPlatform::FindResourceW(ModuleHandle m, const std::u16string& name,
                                                const std::u16string& type) {
  Record("FindResourceW", {ModuleRole(m), Utf8(name), Utf8(type)});
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
  Record("FindResourceExW", {ModuleRole(m), Utf8(type), Utf8(name), Decimal(language)});
  if (const auto raw = model.resources.find({type, name});
      m == model.module && raw != model.resources.end()) {
    const FakeResource& r = raw->second;
    found_.push_back(Found{{type, name}, r.bytes, r.reportedSize, r.loadFails, r.lockFails});
    return ResourceHandle(found_.size());
  }
  std::optional<std::vector<std::byte>> block;
  if (m == model.module && type == kStringTable && name.starts_with(u"#")) {
    block =
        model.StringBlock(language, static_cast<std::uint32_t>(std::stoul(Utf8(name.substr(1)))));
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
  Record("SetThreadLocale", {Decimal(locale)});
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
  Record("SetLastError", {Decimal(code)});
  model.lastError = code;
}

int RecordingPlatform::MessageBoxW(const std::u16string& text, const std::u16string& caption,
                                   std::uint32_t style) {
  Record("MessageBoxW", {Utf8(text), Utf8(caption), Hex(style)});
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
  Record("CommandLineToArgvW", {Utf8(line)});
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
  Record("GetEnvironmentVariableW", {Utf8(name)});
  const auto it = model.environment.find(name);
  if (it == model.environment.end()) {
    return std::nullopt;
  }
  return it->second;
}

std::unique_ptr<Lock> RecordingPlatform::CreateLock() {
  return std::make_unique<RecordingLock>(log, locksHeld_);
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
  Record("ProcessIdToSessionId", {Decimal(processId)});
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
