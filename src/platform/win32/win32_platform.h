// The real platform: each function makes the Win32 or Windows Installer calls
// that platform.h names for it and converts nothing but text, handles and the
// last error of a failed call; where a DLL it needs is missing it answers as
// platform.h says. The DLLs and their functions come from system_dlls.h.
#pragma once

#include "platform/platform.h"

namespace sp {

class Win32Platform final : public Platform {
 public:
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
};

}  // namespace sp
