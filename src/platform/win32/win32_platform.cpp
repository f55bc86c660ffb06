#include "platform/win32/win32_platform.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <memory>

#include "platform/win32/system_dlls.h"

namespace sp {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string U(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// The thread's last error, for the results that carry it.
std::uint32_t LastError() {
  return static_cast<std::uint32_t>(::GetLastError());
}

HMODULE Module(ModuleHandle module) {
  return reinterpret_cast<HMODULE>(module);
}
HANDLE File(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

struct ArgvDeleter {
  void operator()(LPWSTR* argv) const { ::GlobalFree(argv); }
};

struct HandleCloser {
  // A query handle's close fails only for a handle that is not one.
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};

class SrwLock final : public Lock {
 public:
  void Enter() override { ::AcquireSRWLockExclusive(&lock_); }
  void Leave() override { ::ReleaseSRWLockExclusive(&lock_); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace

ResourceHandle Win32Platform::FindResourceW(ModuleHandle module, const std::u16string& name,
                                            const std::u16string& type) {
  return ResourceHandle(
      reinterpret_cast<std::uintptr_t>(::FindResourceW(Module(module), W(name), W(type))));
}

ResourceHandle Win32Platform::FindResourceExW(ModuleHandle module, const std::u16string& type,
                                              const std::u16string& name, std::uint16_t language) {
  return ResourceHandle(reinterpret_cast<std::uintptr_t>(
      ::FindResourceExW(Module(module), W(type), W(name), language)));
}

std::uint32_t Win32Platform::SizeofResource(ModuleHandle module, ResourceHandle resource) {
  return ::SizeofResource(Module(module), reinterpret_cast<HRSRC>(resource));
}

LoadedResource Win32Platform::LoadResource(ModuleHandle module, ResourceHandle resource) {
  return LoadedResource(reinterpret_cast<std::uintptr_t>(
      ::LoadResource(Module(module), reinterpret_cast<HRSRC>(resource))));
}

const std::byte* Win32Platform::LockResource(LoadedResource loaded) {
  return static_cast<const std::byte*>(::LockResource(reinterpret_cast<HGLOBAL>(loaded)));
}

std::uint32_t Win32Platform::GetThreadLocale() {
  return ::GetThreadLocale();
}

bool Win32Platform::SetThreadLocale(std::uint32_t locale) {
  return ::SetThreadLocale(locale) != FALSE;
}

std::uint32_t Win32Platform::GetUserDefaultLCID() {
  return ::GetUserDefaultLCID();
}

std::uint32_t Win32Platform::GetLastError() {
  return ::GetLastError();
}

void Win32Platform::SetLastError(std::uint32_t code) {
  ::SetLastError(code);
}

int Win32Platform::MessageBoxW(const std::u16string& text, const std::u16string& caption,
                               std::uint32_t style) {
  const auto messageBox = win32::MessageBoxEntry();
  return messageBox != nullptr ? messageBox(nullptr, W(text), W(caption), style) : 0;
}

LocalTime Win32Platform::GetLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::u16string Win32Platform::GetCommandLineW() {
  return U(::GetCommandLineW());
}

std::optional<std::vector<std::u16string>> Win32Platform::CommandLineToArgvW(
    const std::u16string& commandLine) {
  const auto split = win32::CommandLineToArgvEntry();
  if (split == nullptr) {
    return std::nullopt;
  }
  int count = 0;
  const std::unique_ptr<LPWSTR, ArgvDeleter> argv(split(W(commandLine), &count));
  if (!argv) {
    return std::nullopt;
  }
  std::vector<std::u16string> arguments;
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    arguments.push_back(U(argv.get()[i]));
  }
  return arguments;
}

std::optional<std::u16string> Win32Platform::GetEnvironmentVariableW(const std::u16string& name) {
  const DWORD needed = ::GetEnvironmentVariableW(W(name), nullptr, 0);
  if (needed == 0) {
    return std::nullopt;
  }
  std::u16string value(needed, u'\0');
  const DWORD length =
      ::GetEnvironmentVariableW(W(name), reinterpret_cast<wchar_t*>(value.data()), needed);
  if (length >= needed) {
    return std::nullopt;  // changed between the two calls
  }
  value.resize(length);
  return value;
}

std::unique_ptr<Lock> Win32Platform::CreateLock() {
  return std::make_unique<SrwLock>();
}

TempPathResult Win32Platform::GetTempPathW(std::uint32_t bufferLength) {
  std::u16string buffer(bufferLength, u'\0');
  const DWORD result = ::GetTempPathW(bufferLength, reinterpret_cast<wchar_t*>(buffer.data()));
  if (result == 0 || result >= bufferLength) {
    return TempPathResult{result, u"", result == 0 ? LastError() : 0};
  }
  buffer.resize(result);
  return TempPathResult{result, buffer, 0};
}

FullPathResult Win32Platform::GetFullPathNameW(const std::u16string& path,
                                               std::uint32_t bufferLength) {
  std::u16string buffer(bufferLength, u'\0');
  const DWORD result =
      ::GetFullPathNameW(W(path), bufferLength, reinterpret_cast<wchar_t*>(buffer.data()), nullptr);
  if (result == 0 || result >= bufferLength) {
    return FullPathResult{result, u"", result == 0 ? LastError() : 0};
  }
  buffer.resize(result);
  return FullPathResult{result, buffer, 0};
}

std::optional<std::u16string> Win32Platform::GetShortPathNameW(const std::u16string& path) {
  const DWORD needed = ::GetShortPathNameW(W(path), nullptr, 0);
  if (needed == 0) {
    return std::nullopt;
  }
  std::u16string buffer(needed, u'\0');
  const DWORD length =
      ::GetShortPathNameW(W(path), reinterpret_cast<wchar_t*>(buffer.data()), needed);
  if (length == 0 || length >= needed) {
    return std::nullopt;
  }
  buffer.resize(length);
  return buffer;
}

std::uint32_t Win32Platform::GetFileAttributesW(const std::u16string& path) {
  return ::GetFileAttributesW(W(path));
}

bool Win32Platform::CreateDirectoryW(const std::u16string& path) {
  return ::CreateDirectoryW(W(path), nullptr) != FALSE;
}

FindHandle Win32Platform::FindFirstFileW(const std::u16string& path, std::uint32_t& attributes) {
  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileW(W(path), &found);
  if (find == INVALID_HANDLE_VALUE) {
    return kInvalidFind;
  }
  attributes = found.dwFileAttributes;
  return FindHandle(reinterpret_cast<std::uintptr_t>(find));
}

bool Win32Platform::FindClose(FindHandle find) {
  return ::FindClose(reinterpret_cast<HANDLE>(find)) != FALSE;
}

bool Win32Platform::DeleteFileW(const std::u16string& path) {
  return ::DeleteFileW(W(path)) != FALSE;
}

bool Win32Platform::MoveFileReplaceW(const std::u16string& from, const std::u16string& to) {
  return ::MoveFileExW(W(from), W(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

FileHandle Win32Platform::CreateFileW(const std::u16string& path, std::uint32_t access,
                                      std::uint32_t share, std::uint32_t disposition,
                                      std::uint32_t attributes) {
  const HANDLE file =
      ::CreateFileW(W(path), access, share, nullptr, disposition, attributes, nullptr);
  return FileHandle(reinterpret_cast<std::uintptr_t>(file));
}

std::optional<std::uint64_t> Win32Platform::SetFilePointerEx(FileHandle file, std::int64_t distance,
                                                             std::uint32_t method) {
  LARGE_INTEGER move{};
  move.QuadPart = distance;
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(File(file), move, &position, method)) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(position.QuadPart);
}

ReadResult Win32Platform::ReadFile(FileHandle file, std::span<std::byte> buffer) {
  DWORD read = 0;
  const BOOL ok =
      ::ReadFile(File(file), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
  return ReadResult{ok != FALSE, read, ok != FALSE ? 0 : LastError()};
}

WriteResult Win32Platform::WriteFile(FileHandle file, std::span<const std::byte> bytes) {
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(File(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return WriteResult{ok != FALSE, written, ok != FALSE ? 0 : LastError()};
}

bool Win32Platform::SetEndOfFile(FileHandle file) {
  return ::SetEndOfFile(File(file)) != FALSE;
}

bool Win32Platform::FlushFileBuffers(FileHandle file) {
  return ::FlushFileBuffers(File(file)) != FALSE;
}

std::optional<FileInformation> Win32Platform::GetFileInformationByHandle(FileHandle file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(File(file), &information)) {
    return std::nullopt;
  }
  return FileInformation{
      information.dwFileAttributes, information.nNumberOfLinks, information.dwVolumeSerialNumber,
      (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow,
      (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow};
}

std::optional<std::u16string> Win32Platform::GetFinalPathNameByHandleW(FileHandle file) {
  const DWORD needed = ::GetFinalPathNameByHandleW(File(file), nullptr, 0, FILE_NAME_NORMALIZED);
  if (needed == 0) {
    return std::nullopt;
  }
  std::u16string path(needed, u'\0');
  const DWORD length = ::GetFinalPathNameByHandleW(
      File(file), reinterpret_cast<wchar_t*>(path.data()), needed, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= needed) {
    return std::nullopt;
  }
  path.resize(length);
  return path;
}

bool Win32Platform::SetFileDispositionDelete(FileHandle file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(File(file), FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

bool Win32Platform::CloseHandle(FileHandle file) {
  return ::CloseHandle(File(file)) != FALSE;
}

SummaryOpenResult Win32Platform::MsiGetSummaryInformationW(const std::u16string& packagePath,
                                                           std::uint32_t updateCount) {
  const auto call = win32::Installer().getSummaryInformation;
  MSIHANDLE summary = 0;
  const UINT status = call != nullptr ? call(0, W(packagePath), updateCount, &summary)
                                      : win32::kInstallServiceFailure;
  return SummaryOpenResult{status, MsiHandle(summary)};
}

InstallerText Win32Platform::MsiSummaryInfoGetPropertyW(MsiHandle summary, std::uint32_t property,
                                                        std::uint32_t bufferLength) {
  const auto call = win32::Installer().summaryInfoGetProperty;
  std::u16string buffer(bufferLength, u'\0');
  DWORD length = bufferLength;
  UINT type = 0;
  INT number = 0;
  FILETIME time{};
  const UINT status = call != nullptr
                          ? call(static_cast<MSIHANDLE>(summary), property, &type, &number, &time,
                                 reinterpret_cast<wchar_t*>(buffer.data()), &length)
                          : win32::kInstallServiceFailure;
  return InstallerText{status, buffer.substr(0, buffer.find(u'\0')), length};
}

std::uint32_t Win32Platform::MsiCloseHandle(MsiHandle handle) {
  const auto call = win32::Installer().closeHandle;
  return call != nullptr ? call(static_cast<MSIHANDLE>(handle)) : win32::kInstallServiceFailure;
}

int Win32Platform::MsiQueryProductStateW(const std::u16string& productCode) {
  const auto call = win32::Installer().queryProductState;
  return call != nullptr ? call(W(productCode)) : INSTALLSTATE_UNKNOWN;
}

InstallerText Win32Platform::MsiGetProductInfoW(const std::u16string& productCode,
                                                const std::u16string& attribute,
                                                std::uint32_t bufferLength) {
  const auto call = win32::Installer().getProductInfo;
  std::u16string buffer(bufferLength, u'\0');
  DWORD length = bufferLength;
  const UINT status = call != nullptr ? call(W(productCode), W(attribute),
                                             reinterpret_cast<wchar_t*>(buffer.data()), &length)
                                      : win32::kInstallServiceFailure;
  return InstallerText{status, buffer.substr(0, buffer.find(u'\0')), length};
}

std::uint32_t Win32Platform::MsiEnableLogW(std::uint32_t logMode, const std::u16string& logFile,
                                           std::uint32_t attributes) {
  const auto call = win32::Installer().enableLog;
  return call != nullptr ? call(logMode, logFile.empty() ? nullptr : W(logFile), attributes)
                         : win32::kInstallServiceFailure;
}

std::uint32_t Win32Platform::MsiConfigureProductExW(const std::u16string& productCode,
                                                    int installLevel, int installState,
                                                    const std::u16string& commandLine) {
  const auto call = win32::Installer().configureProductEx;
  return call != nullptr ? call(W(productCode), installLevel,
                                static_cast<INSTALLSTATE>(installState), W(commandLine))
                         : win32::kInstallServiceFailure;
}

int Win32Platform::MsiSetInternalUI(int uiLevel) {
  const auto call = win32::Installer().setInternalUI;
  return call != nullptr ? call(static_cast<INSTALLUILEVEL>(uiLevel), nullptr)
                         : INSTALLUILEVEL_NOCHANGE;
}

std::optional<OsVersion> Win32Platform::RtlGetVersion() {
  // Looked up in ntdll, which every process has, so that the program imports
  // nothing besides KERNEL32 and msvcrt.
  using RtlGetVersionFunction = LONG WINAPI(OSVERSIONINFOW*);
  const auto call =
      win32::Entry<RtlGetVersionFunction>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  if (call == nullptr) {
    return std::nullopt;
  }
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  call(&version);  // always STATUS_SUCCESS
  return OsVersion{version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber};
}

WindowStationHandle Win32Platform::GetProcessWindowStation() {
  const auto call = win32::GetProcessWindowStationEntry();
  return WindowStationHandle(reinterpret_cast<std::uintptr_t>(call != nullptr ? call() : nullptr));
}

std::optional<std::uint32_t> Win32Platform::GetUserObjectInformationW(WindowStationHandle station) {
  const auto call = win32::GetUserObjectInformationEntry();
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (call == nullptr ||
      !call(reinterpret_cast<HANDLE>(station), UOI_FLAGS, &flags, sizeof flags, &needed)) {
    return std::nullopt;
  }
  return flags.dwFlags;
}

std::uint32_t Win32Platform::GetCurrentProcessId() {
  return ::GetCurrentProcessId();
}

std::optional<std::uint32_t> Win32Platform::ProcessIdToSessionId(std::uint32_t processId) {
  DWORD session = 0;
  if (!::ProcessIdToSessionId(processId, &session)) {
    return std::nullopt;
  }
  return session;
}

std::optional<bool> Win32Platform::GetTokenElevation() {
  const auto open = win32::Token().openProcessToken;
  const auto query = win32::Token().getTokenInformation;
  HANDLE token = nullptr;
  if (open == nullptr || query == nullptr || !open(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return std::nullopt;
  }
  std::optional<bool> elevated;
  DWORD error = 0;
  {
    const std::unique_ptr<void, HandleCloser> owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD length = 0;
    if (query(token, TokenElevation, &elevation, sizeof elevation, &length)) {
      elevated = elevation.TokenIsElevated != 0;
    } else {
      error = ::GetLastError();
    }
  }
  if (!elevated) {
    ::SetLastError(error);  // the query's, whatever closing the token left
  }
  return elevated;
}

std::uint16_t Win32Platform::GetUserDefaultUILanguage() {
  return ::GetUserDefaultUILanguage();
}

}  // namespace sp
