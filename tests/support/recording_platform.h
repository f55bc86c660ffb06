// A test double of the platform: it answers from a small model of a machine
// that each test sets up, fails where the test's faults say, and records every
// call with its arguments, in order, in a log that tests query by call name.
// Handles appear in the log by what they stand for ("file C:\T\MSP2"), never by
// number. After each test it checks that the program left nothing open behind.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "call_log.h"
#include "faults.h"
#include "model.h"
#include "platform/platform.h"
#include "text_codec.h"

namespace sp::test {

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
