// The seam between the installer's logic and the operating system.
//
// Every call the program makes to Windows goes through this interface. Most
// functions are one Windows call, named after it and taking the same arguments
// and buffer sizes, with handles and text made portable, and some results carry
// the call's last error; where a function does more (a lock object, the argument
// split with its release, a move with fixed flags, the token query) its comment
// says so. The Win32 implementation (win32/) makes the calls; the one thing it
// decides itself is the answer where a DLL that the program does not import
// (msi.dll, user32.dll, shell32.dll, advapi32.dll) or a function in it cannot be
// had: the Windows Installer calls that return a status return 1601
// (ERROR_INSTALL_SERVICE_FAILURE), MsiQueryProductStateW -1 (unknown),
// MsiSetInternalUI 0 (no change), MessageBoxW 0, GetProcessWindowStation no
// station, and CommandLineToArgvW, GetUserObjectInformationW, GetTokenElevation
// and RtlGetVersion none. Every other decision is the portable code's. The unit
// tests replace the platform with a double that models a machine and records
// each call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sp {

// Opaque handles. The logic stores and passes them; only the platform looks inside.
enum class ModuleHandle : std::uintptr_t {};
enum class ResourceHandle : std::uintptr_t {};
enum class LoadedResource : std::uintptr_t {};
enum class FileHandle : std::uintptr_t {};
enum class FindHandle : std::uintptr_t {};
enum class MsiHandle : std::uint32_t {};

inline constexpr FileHandle kInvalidFile = FileHandle(~std::uintptr_t{0});
inline constexpr FindHandle kInvalidFind = FindHandle(~std::uintptr_t{0});
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// Windows values the logic passes or tests.
namespace win {
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorInstallFailure = 1603;
inline constexpr std::uint32_t kErrorSuccessRebootInitiated = 1641;
inline constexpr std::uint32_t kErrorProductVersion = 1642;
inline constexpr std::uint32_t kErrorSuccessRebootRequired = 3010;

inline constexpr std::uint32_t kLocaleUserDefault = 0x400;

// Message box styles: every box of the program stays on top and in front.
inline constexpr std::uint32_t kMbTopmostSetForeground = 0x50000;  // MB_TOPMOST | MB_SETFOREGROUND
inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbIconInformation = 0x40;

inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kFileShareRead = 1;
inline constexpr std::uint32_t kCreateNew = 1;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kOpenAlways = 4;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kFileShareWrite = 2;
inline constexpr std::uint32_t kFileShareDelete = 4;
inline constexpr std::uint32_t kFileFlagBackupSemantics = 0x02000000;
inline constexpr std::uint32_t kFileFlagOpenReparsePoint = 0x00200000;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kFileBegin = 0;
inline constexpr std::uint32_t kFileEnd = 2;
inline constexpr std::uint32_t kDelete = 0x00010000;
inline constexpr std::uint32_t kFileWriteData = 0x0002;
inline constexpr std::uint32_t kFileReadAttributes = 0x0080;
}  // namespace win

// Each of these results carries, where the call failed, the last error it left.
struct TempPathResult {
  std::uint32_t result = 0;  // what GetTempPathW returned
  std::u16string path;       // the buffer's text when it fitted, else empty
  std::uint32_t error = 0;   // the last error when the result is 0
};

struct FullPathResult {
  std::uint32_t result = 0;  // what GetFullPathNameW returned
  std::u16string path;       // the buffer's text when it fitted, else empty
  std::uint32_t error = 0;   // the last error when the result is 0
};

struct WriteResult {
  bool ok = false;
  std::uint32_t written = 0;  // bytes the platform reports as written
  std::uint32_t error = 0;    // the last error when not ok
};

struct ReadResult {
  bool ok = false;
  std::uint32_t read = 0;   // bytes the platform reports as read; 0 at the end of the file
  std::uint32_t error = 0;  // the last error when not ok
};

// GetLocalTime's answer, to the second.
struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
};

// What GetFileInformationByHandle reports that the program looks at. The volume
// serial number and the file index together name one file on the machine.
struct FileInformation {
  std::uint32_t attributes = 0;
  std::uint32_t links = 0;
  std::uint32_t volumeSerial = 0;
  std::uint64_t fileIndex = 0;
  std::uint64_t size = 0;
};

struct SummaryOpenResult {
  std::uint32_t status = 0;
  MsiHandle handle{};
};

struct InstallerText {
  std::uint32_t status = 0;
  std::u16string text;       // the buffer up to its first null
  std::uint32_t length = 0;  // the length the call returned through its in/out argument
};

// Of the start-up queries: the process's window station, and what RtlGetVersion reports.
enum class WindowStationHandle : std::uintptr_t {};
struct OsVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

// A lock for state that more than one thread could reach.
class Lock {
 public:
  virtual ~Lock() = default;
  virtual void Enter() = 0;
  virtual void Leave() = 0;
};

// Holds a lock for as long as it lives.
class HeldLock {
 public:
  explicit HeldLock(Lock& lock) : lock_(lock) { lock_.Enter(); }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  ~HeldLock() { lock_.Leave(); }

 private:
  Lock& lock_;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Module resources. Names and types are texts; "#206" names the integer id 206.
  virtual ResourceHandle FindResourceW(ModuleHandle module, const std::u16string& name,
                                       const std::u16string& type) = 0;
  virtual ResourceHandle FindResourceExW(ModuleHandle module, const std::u16string& type,
                                         const std::u16string& name, std::uint16_t language) = 0;
  virtual std::uint32_t SizeofResource(ModuleHandle module, ResourceHandle resource) = 0;
  virtual LoadedResource LoadResource(ModuleHandle module, ResourceHandle resource) = 0;
  virtual const std::byte* LockResource(LoadedResource loaded) = 0;

  // Locale, last error and the user interface of the calling thread.
  virtual std::uint32_t GetThreadLocale() = 0;
  virtual bool SetThreadLocale(std::uint32_t locale) = 0;
  virtual std::uint32_t GetUserDefaultLCID() = 0;
  virtual std::uint32_t GetLastError() = 0;
  virtual void SetLastError(std::uint32_t code) = 0;
  virtual int MessageBoxW(const std::u16string& text, const std::u16string& caption,
                          std::uint32_t style) = 0;

  // Process command line and environment.
  virtual std::u16string GetCommandLineW() = 0;
  virtual LocalTime GetLocalTime() = 0;
  // CommandLineToArgvW; the array is released with GlobalFree before this returns.
  virtual std::optional<std::vector<std::u16string>> CommandLineToArgvW(
      const std::u16string& commandLine) = 0;
  virtual std::optional<std::u16string> GetEnvironmentVariableW(const std::u16string& name) = 0;
  // A new lock (on Windows a slim reader/writer lock, taken exclusively).
  virtual std::unique_ptr<Lock> CreateLock() = 0;

  // Files and directories. `bufferLength` is the size, in wide characters, of the
  // buffer the call is given.
  virtual TempPathResult GetTempPathW(std::uint32_t bufferLength) = 0;
  virtual FullPathResult GetFullPathNameW(const std::u16string& path,
                                          std::uint32_t bufferLength) = 0;
  // The short form of an existing path, or none when the call fails.
  virtual std::optional<std::u16string> GetShortPathNameW(const std::u16string& path) = 0;
  virtual std::uint32_t GetFileAttributesW(const std::u16string& path) = 0;
  virtual bool CreateDirectoryW(const std::u16string& path) = 0;
  // Returns kInvalidFind when nothing matches; otherwise the first entry's attributes.
  virtual FindHandle FindFirstFileW(const std::u16string& path, std::uint32_t& attributes) = 0;
  virtual bool FindClose(FindHandle find) = 0;
  virtual bool DeleteFileW(const std::u16string& path) = 0;
  // MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH.
  virtual bool MoveFileReplaceW(const std::u16string& from, const std::u16string& to) = 0;
  virtual FileHandle CreateFileW(const std::u16string& path, std::uint32_t access,
                                 std::uint32_t share, std::uint32_t disposition,
                                 std::uint32_t attributes) = 0;
  // SetFilePointerEx: the new position, or none (with the last error set).
  virtual std::optional<std::uint64_t> SetFilePointerEx(FileHandle file, std::int64_t distance,
                                                        std::uint32_t method) = 0;
  virtual ReadResult ReadFile(FileHandle file, std::span<std::byte> buffer) = 0;
  virtual WriteResult WriteFile(FileHandle file, std::span<const std::byte> bytes) = 0;
  virtual bool SetEndOfFile(FileHandle file) = 0;
  virtual bool FlushFileBuffers(FileHandle file) = 0;
  virtual std::optional<FileInformation> GetFileInformationByHandle(FileHandle file) = 0;
  // The path the handle's file has on its volume (FILE_NAME_NORMALIZED), or none.
  virtual std::optional<std::u16string> GetFinalPathNameByHandleW(FileHandle file) = 0;
  // SetFileInformationByHandle(FileDispositionInfo) with DeleteFile set: the file
  // goes once its last handle is closed. The handle needs DELETE access.
  virtual bool SetFileDispositionDelete(FileHandle file) = 0;
  virtual bool CloseHandle(FileHandle file) = 0;

  // Windows Installer.
  virtual SummaryOpenResult MsiGetSummaryInformationW(const std::u16string& packagePath,
                                                      std::uint32_t updateCount) = 0;
  // MsiSummaryInfoGetPropertyW with a text buffer of `bufferLength` characters.
  virtual InstallerText MsiSummaryInfoGetPropertyW(MsiHandle summary, std::uint32_t property,
                                                   std::uint32_t bufferLength) = 0;
  virtual std::uint32_t MsiCloseHandle(MsiHandle handle) = 0;
  virtual int MsiQueryProductStateW(const std::u16string& productCode) = 0;
  // MsiGetProductInfoW with a text buffer of `bufferLength` characters.
  virtual InstallerText MsiGetProductInfoW(const std::u16string& productCode,
                                           const std::u16string& attribute,
                                           std::uint32_t bufferLength) = 0;
  virtual std::uint32_t MsiEnableLogW(std::uint32_t logMode, const std::u16string& logFile,
                                      std::uint32_t attributes) = 0;
  virtual std::uint32_t MsiConfigureProductExW(const std::u16string& productCode, int installLevel,
                                               int installState,
                                               const std::u16string& commandLine) = 0;
  virtual int MsiSetInternalUI(int uiLevel) = 0;

  // Who can see the process, with which rights it runs, and the user's language.
  // The version of Windows from ntdll, whose answer, unlike GetVersionExW's, does
  // not depend on the versions the program's manifest names; none when ntdll
  // lacks the function.
  virtual std::optional<OsVersion> RtlGetVersion() = 0;
  // The process's window station; 0 when the call fails. Never closed: the
  // handle belongs to the process.
  virtual WindowStationHandle GetProcessWindowStation() = 0;
  // GetUserObjectInformationW(station, UOI_FLAGS): the dwFlags of USEROBJECTFLAGS
  // (WSF_VISIBLE for a window station), or none when the call fails.
  virtual std::optional<std::uint32_t> GetUserObjectInformationW(WindowStationHandle station) = 0;
  virtual std::uint32_t GetCurrentProcessId() = 0;
  // The session the process runs in, or none when the call fails.
  virtual std::optional<std::uint32_t> ProcessIdToSessionId(std::uint32_t processId) = 0;
  // OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY), GetTokenInformation with
  // TokenElevation and CloseHandle, made together because the token serves nothing
  // else: TokenIsElevated, or none (with the last error of the call that failed).
  virtual std::optional<bool> GetTokenElevation() = 0;
  // The user's UI language, which LoadStringW follows on Windows.
  virtual std::uint16_t GetUserDefaultUILanguage() = 0;
};

}  // namespace sp
