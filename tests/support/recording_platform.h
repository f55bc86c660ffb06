// A test double of the platform: it answers from a small model of a machine
// that each test sets up, fails where the test's faults say, and records every
// call with its arguments, in order, in a log that tests query by call name.
// Handles appear in the log by what they stand for ("file C:\T\MSP2"), never by
// number. After each test it checks that the program left nothing open behind.
#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sp::test {

std::string Utf8(std::u16string_view text);
std::u16string Utf16(std::string_view text);
std::vector<std::byte> Bytes(std::string_view text);
std::string Text(const std::vector<std::byte>& bytes);

struct FakeResource {
  std::vector<std::byte> bytes;
  std::optional<std::uint32_t> reportedSize;  // SizeofResource's answer, if not the byte count
  bool loadFails = false;
  bool lockFails = false;
};

struct FakeFile {
  FakeFile(bool isDirectory = false, std::vector<std::byte> bytes = {})  // NOLINT: {dir, bytes}
      : directory(isDirectory), data(std::move(bytes)) {}

  bool directory = false;
  std::vector<std::byte> data;  // the bytes after the hole
  // A file's first bytes may be a hole of zeros that is not stored, so that a
  // test can have a file of many GiB.
  std::uint64_t hole = 0;
  std::uint32_t links = 1;
  bool reparsePoint = false;
  std::optional<std::u16string> leadsTo;  // the final path of a link placed here
  std::uint64_t index = 0;                // the file index; the double numbers what it creates
  bool operator==(const FakeFile&) const = default;
};

struct FakeProduct {
  int state = 5;
  std::map<std::u16string, std::u16string> info;  // attribute -> text
  std::deque<std::uint32_t> configureResults;     // popped per call; 0 when empty
  // The "VersionString" a reconfiguration that succeeds leaves; string 700 of the
  // English catalogue when unset. The product's own version models a patch that
  // the installer reports as applied but that changed nothing.
  std::optional<std::u16string> versionAfterPatch;
};

// The machine as the program finds it.
struct Model {
  ModuleHandle module = ModuleHandle(0x400000);
  // (type, name); in any language, and before the string tables for a string block
  std::map<std::pair<std::u16string, std::u16string>, FakeResource> resources;
  std::map<std::uint16_t, std::map<std::uint32_t, std::u16string>> strings;  // language -> id
  std::uint32_t threadLocale = 1033;
  std::uint32_t userDefaultLocale = 1033;
  std::uint32_t lastError = 0;

  std::u16string commandLine = u"servicepack.exe";
  LocalTime localTime{2026, 12, 8, 9, 5, 7};
  std::optional<std::vector<std::u16string>> arguments;  // the split, instead of splitting
  std::map<std::u16string, std::u16string> environment;

  std::u16string tempPath = u"C:\\T\\";
  std::u16string currentDirectory = u"C:\\W";
  std::map<std::u16string, FakeFile> files = {{u"C:\\T", FakeFile{true, {}}},
                                              {u"C:\\W", FakeFile{true, {}}}};  // full path
  // Short forms of paths; a path without one is its own short form, as where
  // short names are turned off.
  std::map<std::u16string, std::u16string> shortNames;

  std::u16string summaryText;  // property 7 of every package that opens
  std::map<std::u16string, FakeProduct> products;

  // Who can see the process and its rights: a visible window station (WSF_VISIBLE)
  // in session 1 of Windows 10, elevated. The UI language is the thread locale's
  // language, whatever that is at the time, unless set.
  std::optional<OsVersion> osVersion = OsVersion{10, 0, 19045};
  std::uint32_t windowStationFlags = 1;
  std::uint32_t processId = 4242;
  std::uint32_t sessionId = 1;
  bool elevated = true;
  std::optional<std::uint16_t> uiLanguage;

  void AddCatalogue(std::uint16_t language, std::map<std::uint32_t, std::u16string> entries);
  // An installed product (state 5) with its name, language and version.
  void AddProduct(const std::u16string& code, std::u16string name, std::u16string language,
                  std::u16string version);
  void AddResource(std::u16string type, std::u16string name, std::string_view bytes);
  std::string FileText(const std::u16string& path) const;
  bool Exists(const std::u16string& path) const { return files.count(path) != 0; }
};

// Where the machine fails, and how.
struct Faults {
  bool splitFails = false;                                  // CommandLineToArgvW
  std::map<std::u16string, std::uint32_t> attributeErrors;  // GetFileAttributesW refused
  std::u16string deniedPrefix;  // GetFileAttributesW refuses every path starting with it
  std::map<std::u16string, std::uint32_t> openErrors;    // CreateFileW refused
  std::map<std::u16string, std::uint32_t> reopenErrors;  // CreateFileW of an existing file refused
  // Another process puts these bytes in the file once the program has written
  // and closed it.
  std::map<std::u16string, std::string> replacedAfterWrite;
  // Another process puts a new file with the same bytes at the name (a link to an
  // identical copy) once the program has closed a handle it wrote through.
  std::set<std::u16string> swappedAfterWrite;
  std::set<std::u16string> failingCreateDirectory;
  std::set<std::u16string> failingMoves;        // MoveFileReplaceW onto these targets
  std::set<std::u16string> failingDeletes;      // DeleteFileW refused (access denied)
  std::uint64_t diskSpace = ~std::uint64_t{0};  // bytes the disk still takes
  // The n-th write (from 1) into a file: refused with an error, or accepting
  // fewer bytes while reporting success.
  std::map<std::pair<std::u16string, int>, std::uint32_t> failingWrites;
  std::map<std::pair<std::u16string, int>, std::uint32_t> partialWrites;
  bool setEndOfFileFails = false;
  std::optional<std::uint32_t> flushError;  // FlushFileBuffers fails with it
  std::optional<std::uint32_t>
      closeError;  // CloseHandle fails with it (the handle goes all the same)
  std::map<std::u16string, std::uint32_t> readErrors;  // ReadFile of a file fails
  std::deque<std::uint32_t> summaryStatuses;           // forced statuses of the property reads
  std::optional<std::uint32_t> summaryOpenStatus;      // forced status of the open
  // Start-up queries that fail (GetProcessWindowStation, GetUserObjectInformationW,
  // ProcessIdToSessionId, GetTokenElevation), with the error they leave.
  std::map<std::string, std::uint32_t> failingQueries;
};

// One platform call: the function and its arguments as text.
struct Call {
  std::string name;
  std::vector<std::string> args;
  bool operator==(const Call&) const = default;
};
void PrintTo(const Call& call, std::ostream* out);

struct Box {
  std::string text;
  std::string caption;
  std::uint32_t style;
};

// What the program did, in order.
class CallLog {
 public:
  void Add(Call call) { calls_.push_back(std::move(call)); }
  void clear() { calls_.clear(); }
  const std::vector<Call>& all() const { return calls_; }

  // The calls to any of these functions, in order.
  std::vector<Call> Of(std::initializer_list<std::string_view> names) const;
  // The arguments of every call to `name`, in order.
  std::vector<std::vector<std::string>> ArgsOf(std::string_view name) const;
  std::size_t Count(std::string_view name) const;
  // The function names of every call, in order.
  std::vector<std::string> Names() const;
  // The message boxes shown, in order.
  std::vector<Box> Boxes() const;
  std::vector<std::string> BoxTexts() const;

 private:
  std::vector<Call> calls_;
};

class RecordingPlatform : public Platform {
 public:
  RecordingPlatform() = default;
  ~RecordingPlatform() override;  // checks that nothing was left open
  RecordingPlatform(const RecordingPlatform&) = delete;
  RecordingPlatform& operator=(const RecordingPlatform&) = delete;

  Model model;
  Faults faults;
  CallLog log;

  // What the program left behind that it must not: open handles, a held lock,
  // staging files it created. Checked after every test.
  std::vector<std::string> Leftovers() const;

  // ---- Platform ----
  ResourceHandle FindResourceW(ModuleHandle module, const std::u16string& name,
                               const std::u16string& type) override;
  ResourceHandle FindResourceExW(ModuleHandle module, const std::u16string& type,
                                 const std::u16string& name, std::uint16_t language) override;
  std::uint32_t SizeofResource(ModuleHandle module, ResourceHandle resource) override;
  LoadedResource LoadResource(ModuleHandle module, ResourceHandle resource) override;
  const std::byte* LockResource(LoadedResource loaded) override;
  std::uint32_t GetThreadLocale() override;
  bool SetThreadLocale(std::uint32_t locale) override;
  std::uint32_t GetUserDefaultLCID() override;
  std::uint32_t GetLastError() override;
  void SetLastError(std::uint32_t code) override;
  int MessageBoxW(const std::u16string& text, const std::u16string& caption,
                  std::uint32_t style) override;
  std::u16string GetCommandLineW() override;
  LocalTime GetLocalTime() override;
  std::optional<std::vector<std::u16string>> CommandLineToArgvW(
      const std::u16string& commandLine) override;
  std::optional<std::u16string> GetEnvironmentVariableW(const std::u16string& name) override;
  std::unique_ptr<Lock> CreateLock() override;
  TempPathResult GetTempPathW(std::uint32_t bufferLength) override;
  FullPathResult GetFullPathNameW(const std::u16string& path, std::uint32_t bufferLength) override;
  std::optional<std::u16string> GetShortPathNameW(const std::u16string& path) override;
  std::uint32_t GetFileAttributesW(const std::u16string& path) override;
  bool CreateDirectoryW(const std::u16string& path) override;
  FindHandle FindFirstFileW(const std::u16string& path, std::uint32_t& attributes) override;
  bool FindClose(FindHandle find) override;
  bool DeleteFileW(const std::u16string& path) override;
  bool MoveFileReplaceW(const std::u16string& from, const std::u16string& to) override;
  FileHandle CreateFileW(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                         std::uint32_t disposition, std::uint32_t attributes) override;
  std::optional<std::uint64_t> SetFilePointerEx(FileHandle file, std::int64_t distance,
                                                std::uint32_t method) override;
  ReadResult ReadFile(FileHandle file, std::span<std::byte> buffer) override;
  WriteResult WriteFile(FileHandle file, std::span<const std::byte> bytes) override;
  bool SetEndOfFile(FileHandle file) override;
  bool FlushFileBuffers(FileHandle file) override;
  std::optional<FileInformation> GetFileInformationByHandle(FileHandle file) override;
  std::optional<std::u16string> GetFinalPathNameByHandleW(FileHandle file) override;
  bool SetFileDispositionDelete(FileHandle file) override;
  bool CloseHandle(FileHandle file) override;
  SummaryOpenResult MsiGetSummaryInformationW(const std::u16string& packagePath,
                                              std::uint32_t updateCount) override;
  InstallerText MsiSummaryInfoGetPropertyW(MsiHandle summary, std::uint32_t property,
                                           std::uint32_t bufferLength) override;
  std::uint32_t MsiCloseHandle(MsiHandle handle) override;
  int MsiQueryProductStateW(const std::u16string& productCode) override;
  InstallerText MsiGetProductInfoW(const std::u16string& productCode,
                                   const std::u16string& attribute,
                                   std::uint32_t bufferLength) override;
  std::uint32_t MsiEnableLogW(std::uint32_t logMode, const std::u16string& logFile,
                              std::uint32_t attributes) override;
  std::uint32_t MsiConfigureProductExW(const std::u16string& productCode, int installLevel,
                                       int installState,
                                       const std::u16string& commandLine) override;
  int MsiSetInternalUI(int uiLevel) override;
  std::optional<OsVersion> RtlGetVersion() override;
  WindowStationHandle GetProcessWindowStation() override;
  std::optional<std::uint32_t> GetUserObjectInformationW(WindowStationHandle station) override;
  std::uint32_t GetCurrentProcessId() override;
  std::optional<std::uint32_t> ProcessIdToSessionId(std::uint32_t processId) override;
  std::optional<bool> GetTokenElevation() override;
  std::uint16_t GetUserDefaultUILanguage() override;

 private:
  struct OpenFile {
    std::u16string path;
    std::uint64_t position = 0;
    int writes = 0;
    bool forWriting = false;
    bool deleteOnClose = false;
  };
  struct Found {
    std::pair<std::u16string, std::u16string> key;  // a resource, or (string block, language)
    std::vector<std::byte> bytes;
    std::optional<std::uint32_t> reportedSize;
    bool loadFails = false;
    bool lockFails = false;
  };
  void Record(std::string name, std::vector<std::string> args);
  std::string ModuleRole(ModuleHandle module) const;
  std::string FileRole(FileHandle file) const;
  std::string FoundRole(std::uintptr_t handle) const;
  bool ParentIsDirectory(const std::u16string& path) const;
  // What GetFullPathNameW makes of `path`.
  std::u16string FullPath(std::u16string path) const;
  // Whether the start-up query `name` fails; sets the last error when it does.
  bool QueryFails(const std::string& name);

  std::vector<Found> found_;  // resources and string blocks handed out, kept alive
  std::map<std::uintptr_t, OpenFile> openFiles_;
  std::map<std::uintptr_t, std::u16string> openFinds_;
  std::map<std::uint32_t, std::u16string> openSummaries_;
  std::set<std::u16string> created_;  // files the program created
  int locksHeld_ = 0;
  std::u16string installerLog_;  // the file MsiEnableLogW named last
  std::uint64_t nextIndex_ = 1;
  std::uintptr_t nextHandle_ = 0x100;
};

}  // namespace sp::test
