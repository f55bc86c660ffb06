#include "check/win32/win32_machine.h"

// clang-format off
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include <functional>
#include <memory>

namespace sp::check {
namespace {

class OwnedMsi {
 public:
  OwnedMsi() = default;
  OwnedMsi(const OwnedMsi&) = delete;
  OwnedMsi& operator=(const OwnedMsi&) = delete;
  ~OwnedMsi() {
    if (handle_ != 0) {
      ::MsiCloseHandle(handle_);
    }
  }
  MSIHANDLE* out() { return &handle_; }
  MSIHANDLE get() const { return handle_; }

 private:
  MSIHANDLE handle_ = 0;
};

struct HandleCloser {
  void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// The value of one row of the package's Property table; empty when it has none.
std::u16string PropertyOf(MSIHANDLE database, const wchar_t* property, UINT& status) {
  const std::wstring query =
      std::wstring(L"SELECT `Value` FROM `Property` WHERE `Property` = '") + property + L"'";
  OwnedMsi view;
  status = ::MsiDatabaseOpenViewW(database, query.c_str(), view.out());
  if (status != ERROR_SUCCESS) {
    return u"";
  }
  status = ::MsiViewExecute(view.get(), 0);
  OwnedMsi record;
  if (status != ERROR_SUCCESS || (status = ::MsiViewFetch(view.get(), record.out())) != 0) {
    return u"";
  }
  DWORD length = 0;
  wchar_t empty[1] = {};
  status = ::MsiRecordGetStringW(record.get(), 1, empty, &length);
  if (status != ERROR_MORE_DATA && status != ERROR_SUCCESS) {
    return u"";
  }
  std::wstring value(length + 1, L'\0');
  length += 1;
  status = ::MsiRecordGetStringW(record.get(), 1, value.data(), &length);
  return status == ERROR_SUCCESS ? U(value.c_str(), length) : u"";
}

// One installer call on a thread of its own, waited for at most `timeoutSeconds`.
// A call that does not return in time keeps its thread and its state (never freed:
// the thread may still use them) and reports kErrorTimeout.
struct InstallerCall {
  std::function<UINT()> call;
  UINT result = ERROR_INSTALL_FAILURE;
};

DWORD WINAPI RunInstallerCall(void* parameter) {
  auto* call = static_cast<InstallerCall*>(parameter);
  ::MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  call->result = call->call();
  return 0;
}

std::uint32_t Bounded(std::function<UINT()> work, std::uint32_t timeoutSeconds) {
  auto call = std::make_unique<InstallerCall>();
  call->call = std::move(work);
  OwnedHandle thread(::CreateThread(nullptr, 0, RunInstallerCall, call.get(), 0, nullptr));
  if (!thread) {
    return ::GetLastError();
  }
  if (::WaitForSingleObject(thread.get(), timeoutSeconds * 1000) != WAIT_OBJECT_0) {
    static_cast<void>(call.release());
    return kErrorTimeout;
  }
  return call->result;
}

}  // namespace

bool Win32Machine::UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

Expected<ModuleHandle> Win32Machine::LoadPackImage(const std::u16string& path) {
  const HMODULE image = ::LoadLibraryExW(W(path), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (image == nullptr) {
    return Failure(::GetLastError());
  }
  return ModuleHandle(reinterpret_cast<std::uintptr_t>(image));
}

void Win32Machine::FreePackImage(ModuleHandle image) {
  ::FreeLibrary(reinterpret_cast<HMODULE>(image));
}

Expected<ProductPackage> Win32Machine::ReadProductPackage(const std::u16string& msiPath) {
  OwnedMsi database;
  UINT status = ::MsiOpenDatabaseW(W(msiPath), MSIDBOPEN_READONLY, database.out());
  if (status != ERROR_SUCCESS) {
    return Failure(status);
  }
  ProductPackage package;
  package.code = PropertyOf(database.get(), L"ProductCode", status);
  if (status != ERROR_SUCCESS || package.code.empty()) {
    return Failure(status);
  }
  package.version = PropertyOf(database.get(), L"ProductVersion", status);
  if (status != ERROR_SUCCESS || package.version.empty()) {
    return Failure(status);
  }
  package.upgradeCode = PropertyOf(database.get(), L"UpgradeCode", status);
  package.name = PropertyOf(database.get(), L"ProductName", status);
  package.language = PropertyOf(database.get(), L"ProductLanguage", status);
  return package;
}

std::uint32_t Win32Machine::InstallProduct(const std::u16string& msiPath,
                                           std::uint32_t timeoutSeconds) {
  const std::u16string path = msiPath;
  return Bounded([path] { return ::MsiInstallProductW(W(path), L"REBOOT=ReallySuppress"); },
                 timeoutSeconds);
}

std::uint32_t Win32Machine::RemoveProduct(const std::u16string& productCode,
                                          std::uint32_t timeoutSeconds) {
  const std::u16string code = productCode;
  return Bounded(
      [code] {
        return ::MsiConfigureProductExW(W(code), INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT,
                                        L"REBOOT=ReallySuppress");
      },
      timeoutSeconds);
}

std::uint32_t Win32Machine::RemoveProductWithPackage(const std::u16string& msiPath,
                                                     std::uint32_t timeoutSeconds) {
  const std::u16string path = msiPath;
  return Bounded(
      [path] { return ::MsiInstallProductW(W(path), L"REMOVE=ALL REBOOT=ReallySuppress"); },
      timeoutSeconds);
}

PackRun Win32Machine::RunPack(const std::u16string& pack, const std::u16string& arguments,
                              RunPlace place, WindowObserver* observer,
                              std::uint32_t timeoutSeconds) {
  if (place == RunPlace::kSystemTask) {
    return RunPackAsSystem(pack, arguments, timeoutSeconds);
  }
  return RunPackProcess(pack, arguments, place == RunPlace::kUnseenStation, observer,
                        timeoutSeconds);
}

}  // namespace sp::check
