// msptool: makes the sample transforms and patch packages, and drives Windows Installer,
// for the service pack's tests. A console program for Windows (run under Wine on Linux).
//
//   msptool transform <out.mst> <productCode> <upgradeCode> <language> <fromVersion> <toVersion>
//                     [fail] [flags=<n>]
//       Writes a transform that sets the product's ProductVersion to <toVersion>. With "fail" it
//       also adds an error custom action (type 19) before InstallInitialize, so that installing
//       with it ends in 1603. The transform is valid only for <productCode>: its validation
//       flags (summary property 16) are 2, "check the product code", unless flags= gives others
//       (0x0922 is what patch tools write: product and upgrade code, update version, and the
//       new version equal to the base).
//   msptool patch <out.msp> <patchCode> <targetCodes> [<name>=<transform.mst> ...] [pad=<bytes>]
//       Writes a patch package. <targetCodes> is stored as given (the ";"-separated product
//       codes). Each transform becomes the substorage <name>; the transform list is
//       ":<name1>;:<name2>..." (empty without transforms). pad=<bytes> adds a stream "Padding"
//       so that the file is at least that large.
//   msptool configure <productCode> <commandLine>...
//       Calls MsiConfigureProductExW(code, 0, INSTALLSTATE_DEFAULT, commandLine) with no UI and
//       prints the result number. Several command line arguments are joined with spaces.
//   msptool query <productCode>...
//       Prints "<code> <state> <VersionString>" per code (MsiQueryProductStateW and
//       MsiGetProductInfoW; the version is empty when there is none).
//
// Exit code: 0 when the command was carried out (configure: whatever the call returned),
// 1 on a failure (reported on stderr), 2 on wrong usage.

#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Windows Installer takes a storage for a transform only with this class id (a patch package
// gets its own one from MsiOpenDatabaseW).
const CLSID kTransformClsid = {
    0x000C1082, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The persist modes are pointer-typed constants in msiquery.h; the W functions take their
// numeric values (patch file flag: 32 bytes added to the mode).
LPCWSTR PersistMode(uintptr_t mode) {
  return reinterpret_cast<LPCWSTR>(mode);
}
constexpr uintptr_t kDirect = 2;
constexpr uintptr_t kCreatePatch = 3 + 32;

constexpr UINT kPidTitle = 2;
constexpr UINT kPidTemplate = 7;
constexpr UINT kPidLastAuthor = 8;
constexpr UINT kPidRevNumber = 9;
constexpr UINT kPidPageCount = 14;
constexpr UINT kPidWordCount = 15;
constexpr UINT kPidCharCount = 16;
// Validation flag: the transform applies only to the product whose code it names.
constexpr INT kValidateProduct = 0x0002;

std::string Utf8(const std::wstring& text) {
  if (text.empty())
    return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

int Fail(const std::wstring& message) {
  std::fprintf(stderr, "msptool: %s\n", Utf8(message).c_str());
  return 1;
}

int FailHr(const std::wstring& what, HRESULT hr) {
  wchar_t code[16];
  swprintf(code, 16, L"0x%08lx", static_cast<unsigned long>(hr));
  return Fail(what + L" failed: " + code);
}

int FailMsi(const std::wstring& what, UINT r) {
  return Fail(what + L" failed: " + std::to_wstring(r));
}

bool IsGuid(const std::wstring& text) {
  if (text.size() != 38 || text.front() != L'{' || text.back() != L'}')
    return false;
  for (size_t i = 1; i < 37; ++i) {
    wchar_t c = text[i];
    bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? c != L'-' : !iswxdigit(c))
      return false;
  }
  return true;
}

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { Reset(); }
  T** Out() {
    Reset();
    return &ptr_;
  }
  T* operator->() const { return ptr_; }
  T* Get() const { return ptr_; }
  void Reset() {
    if (ptr_)
      ptr_->Release();
    ptr_ = nullptr;
  }

 private:
  T* ptr_ = nullptr;
};

// Closes an MSI handle when it goes out of scope.
class MsiHandle {
 public:
  MsiHandle() = default;
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;
  ~MsiHandle() { Close(); }
  MSIHANDLE* Out() {
    Close();
    return &handle_;
  }
  MSIHANDLE Get() const { return handle_; }
  UINT Close() {
    UINT r = handle_ ? MsiCloseHandle(handle_) : ERROR_SUCCESS;
    handle_ = 0;
    return r;
  }

 private:
  MSIHANDLE handle_ = 0;
};

// The names of streams in an installer database: characters of the 64-letter alphabet are
// packed two to a character; table streams are marked by a leading U+4840.
int Base64Value(wchar_t c) {
  if (c >= L'0' && c <= L'9')
    return c - L'0';
  if (c >= L'A' && c <= L'Z')
    return c - L'A' + 10;
  if (c >= L'a' && c <= L'z')
    return c - L'a' + 36;
  if (c == L'.')
    return 62;
  if (c == L'_')
    return 63;
  return -1;
}

std::wstring EncodeStreamName(const std::wstring& name, bool table) {
  std::wstring out;
  if (table)
    out += wchar_t{0x4840};
  for (size_t i = 0; i < name.size(); ++i) {
    int first = Base64Value(name[i]);
    if (first < 0) {
      out += name[i];
      continue;
    }
    int second = i + 1 < name.size() ? Base64Value(name[i + 1]) : -1;
    if (second >= 0) {
      out += static_cast<wchar_t>(0x3800 + first + (second << 6));
      ++i;
    } else {
      out += static_cast<wchar_t>(0x4800 + first);
    }
  }
  return out;
}

// The string table of a transform: ids from 1 in order of first use, with reference counts.
class StringPool {
 public:
  uint16_t Id(const std::string& text) {
    for (size_t i = 0; i < strings_.size(); ++i) {
      if (strings_[i] == text) {
        ++refs_[i];
        return static_cast<uint16_t>(i + 1);
      }
    }
    strings_.push_back(text);
    refs_.push_back(1);
    return static_cast<uint16_t>(strings_.size());
  }
  std::vector<uint8_t> Pool() const {
    // Header: code page 0 and 2-byte string references.
    std::vector<uint8_t> out(4, 0);
    for (size_t i = 0; i < strings_.size(); ++i) {
      Put16(out, static_cast<uint16_t>(strings_[i].size()));
      Put16(out, refs_[i]);
    }
    return out;
  }
  std::vector<uint8_t> Data() const {
    std::vector<uint8_t> out;
    for (const auto& s : strings_)
      out.insert(out.end(), s.begin(), s.end());
    return out;
  }
  static void Put16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xff));
    out.push_back(static_cast<uint8_t>(value >> 8));
  }

 private:
  std::vector<std::string> strings_;
  std::vector<uint16_t> refs_;
};

// Rows of one table in a transform; each row here adds or replaces whole leading columns.
class TableRows {
 public:
  explicit TableRows(StringPool& pool) : pool_(pool) {}
  void BeginRow(uint8_t columns) {
    StringPool::Put16(data_, static_cast<uint16_t>(1 | columns << 8));
  }
  void String(const std::string& text) {
    StringPool::Put16(data_, text.empty() ? uint16_t{0} : pool_.Id(text));
  }
  void Int16(int16_t value) { StringPool::Put16(data_, static_cast<uint16_t>(value + 0x8000)); }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  StringPool& pool_;
  std::vector<uint8_t> data_;
};

HRESULT WriteStream(IStorage* storage, const std::wstring& name, const std::vector<uint8_t>& data) {
  ComPtr<IStream> stream;
  HRESULT hr = storage->CreateStream(name.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                     0, 0, stream.Out());
  if (FAILED(hr))
    return hr;
  ULONG written = 0;
  if (data.empty())
    return S_OK;
  hr = stream->Write(data.data(), static_cast<ULONG>(data.size()), &written);
  if (SUCCEEDED(hr) && written != data.size())
    hr = STG_E_WRITEFAULT;
  return hr;
}

HRESULT ReadStream(IStorage* storage, const std::wstring& name, std::vector<uint8_t>& data) {
  ComPtr<IStream> stream;
  HRESULT hr =
      storage->OpenStream(name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out());
  if (FAILED(hr))
    return hr;
  STATSTG stat{};
  hr = stream->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr))
    return hr;
  data.assign(static_cast<size_t>(stat.cbSize.QuadPart), 0);
  ULONG read = 0;
  if (data.empty())
    return S_OK;
  hr = stream->Read(data.data(), static_cast<ULONG>(data.size()), &read);
  if (SUCCEEDED(hr) && read != data.size())
    hr = STG_E_READFAULT;
  return hr;
}

bool IsPlainAscii(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < 0x20 || c > 0x7e)
      return false;
  }
  return true;
}

std::string Ascii(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

UINT SetString(MSIHANDLE info, UINT property, const std::wstring& value) {
  return MsiSummaryInfoSetPropertyW(info, property, VT_LPSTR, 0, nullptr, value.c_str());
}

UINT SetInt(MSIHANDLE info, UINT property, INT value) {
  return MsiSummaryInfoSetPropertyW(info, property, VT_I4, value, nullptr, nullptr);
}

int MakeTransform(const std::vector<std::wstring>& args) {
  if (args.size() < 6)
    return 2;
  const std::wstring& out = args[0];
  const std::wstring& product = args[1];
  const std::wstring& upgrade = args[2];
  const std::wstring& language = args[3];
  const std::wstring& from = args[4];
  const std::wstring& to = args[5];
  bool failing = false;
  INT flags = kValidateProduct;
  for (std::size_t i = 6; i < args.size(); ++i) {
    if (args[i] == L"fail") {
      failing = true;
    } else if (args[i].rfind(L"flags=", 0) == 0) {
      wchar_t* end = nullptr;
      const unsigned long value = std::wcstoul(args[i].c_str() + 6, &end, 0);
      if (end == args[i].c_str() + 6 || *end != L'\0' || value > 0xFFFF)
        return Fail(L"flags= takes a number up to 0xFFFF");
      flags = static_cast<INT>(value);
    } else {
      return 2;
    }
  }
  if (!IsGuid(product) || !IsGuid(upgrade))
    return Fail(L"product and upgrade codes must be GUIDs");
  if (language.empty() || language.find_first_not_of(L"0123456789") != std::wstring::npos)
    return Fail(L"the language must be a number");
  if (!IsPlainAscii(from) || !IsPlainAscii(to) || to.empty() || to.size() > 72)
    return Fail(L"versions must be short printable ASCII");

  StringPool pool;
  TableRows property(pool);
  property.BeginRow(2);
  property.String("ProductVersion");
  property.String(Ascii(to));

  TableRows actions(pool);
  TableRows sequence(pool);
  if (failing) {
    // An error action between InstallValidate (1400) and InstallInitialize (1500) stops the
    // installation before anything changes.
    const std::string action = "SampleFailure";
    actions.BeginRow(4);  // Action, Type, Source, Target
    actions.String(action);
    actions.Int16(19);
    actions.String("");
    actions.String("This sample patch fails on purpose.");
    sequence.BeginRow(3);  // Action, Condition, Sequence
    sequence.String(action);
    sequence.String("");
    sequence.Int16(1401);
  }

  std::vector<std::pair<std::wstring, std::vector<uint8_t>>> streams = {
      {L"_StringPool", pool.Pool()},
      {L"_StringData", pool.Data()},
      {L"Property", property.Data()},
  };
  if (failing) {
    streams.push_back({L"CustomAction", actions.Data()});
    streams.push_back({L"InstallExecuteSequence", sequence.Data()});
  }

  {
    ComPtr<IStorage> root;
    HRESULT hr = StgCreateDocfile(out.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                  0, root.Out());
    if (FAILED(hr))
      return FailHr(L"creating " + out, hr);
    hr = root->SetClass(kTransformClsid);
    if (FAILED(hr))
      return FailHr(L"setting the class of " + out, hr);
    for (const auto& [name, data] : streams) {
      hr = WriteStream(root.Get(), EncodeStreamName(name, true), data);
      if (FAILED(hr))
        return FailHr(L"writing the stream " + name, hr);
    }
    hr = root->Commit(STGC_DEFAULT);
    if (FAILED(hr))
      return FailHr(L"committing " + out, hr);
  }

  // Direct mode: the path-based summary call opens the file transacted and loses the write.
  MsiHandle db;
  UINT r = MsiOpenDatabaseW(out.c_str(), PersistMode(kDirect), db.Out());
  if (r != ERROR_SUCCESS)
    return FailMsi(L"opening " + out, r);
  MsiHandle info;
  r = MsiGetSummaryInformationW(db.Get(), nullptr, 20, info.Out());
  if (r != ERROR_SUCCESS)
    return FailMsi(L"opening the summary of " + out, r);
  std::wstring platform = L";" + language;
  std::wstring codes = product + from + L";" + product + to + L";" + upgrade;
  if ((r = SetString(info.Get(), kPidTitle, L"Transform")) != ERROR_SUCCESS ||
      (r = SetString(info.Get(), kPidTemplate, platform)) != ERROR_SUCCESS ||
      (r = SetString(info.Get(), kPidLastAuthor, platform)) != ERROR_SUCCESS ||
      (r = SetString(info.Get(), kPidRevNumber, codes)) != ERROR_SUCCESS ||
      (r = SetInt(info.Get(), kPidPageCount, 200)) != ERROR_SUCCESS ||
      (r = SetInt(info.Get(), kPidWordCount, 0)) != ERROR_SUCCESS ||
      (r = SetInt(info.Get(), kPidCharCount, flags)) != ERROR_SUCCESS)
    return FailMsi(L"setting the summary of " + out, r);
  r = MsiSummaryInfoPersist(info.Get());
  if (r != ERROR_SUCCESS)
    return FailMsi(L"saving the summary of " + out, r);
  info.Close();
  db.Close();

  // The installer must not have rewritten the tables while the summary was saved.
  ComPtr<IStorage> check;
  HRESULT hr = StgOpenStorage(out.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                              check.Out());
  if (FAILED(hr))
    return FailHr(L"reopening " + out, hr);
  for (const auto& [name, data] : streams) {
    std::vector<uint8_t> stored;
    hr = ReadStream(check.Get(), EncodeStreamName(name, true), stored);
    if (FAILED(hr))
      return FailHr(L"reading back the stream " + name, hr);
    if (stored != data)
      return Fail(L"the stream " + name + L" changed after the summary was saved");
  }
  std::printf("%s\n", Utf8(out).c_str());
  return 0;
}

int MakePatch(const std::vector<std::wstring>& args) {
  if (args.size() < 3)
    return 2;
  const std::wstring& out = args[0];
  const std::wstring& patchCode = args[1];
  const std::wstring& targets = args[2];
  if (!IsGuid(patchCode))
    return Fail(L"the patch code must be a GUID");

  std::vector<std::pair<std::wstring, std::wstring>> transforms;
  ULONGLONG pad = 0;
  for (size_t i = 3; i < args.size(); ++i) {
    size_t eq = args[i].find(L'=');
    if (eq == std::wstring::npos || eq == 0 || eq + 1 == args[i].size())
      return 2;
    std::wstring key = args[i].substr(0, eq);
    std::wstring value = args[i].substr(eq + 1);
    if (key == L"pad") {
      wchar_t* end = nullptr;
      pad = wcstoull(value.c_str(), &end, 10);
      if (*end != L'\0')
        return Fail(L"pad must be a number of bytes");
      continue;
    }
    // Substorage names are at most 31 characters and cannot hold the list separators.
    if (key.size() > 31 || key.find_first_of(L":;") != std::wstring::npos)
      return Fail(L"bad transform name " + key);
    transforms.push_back({key, value});
  }
  std::wstring list;
  for (const auto& transform : transforms) {
    if (!list.empty())
      list += L";";
    list += L":" + transform.first;
  }

  DeleteFileW(out.c_str());
  {
    // Created by the installer itself so that the root is marked as a patch package.
    MsiHandle db;
    UINT r = MsiOpenDatabaseW(out.c_str(), PersistMode(kCreatePatch), db.Out());
    if (r != ERROR_SUCCESS)
      return FailMsi(L"creating " + out, r);
    MsiHandle info;
    r = MsiGetSummaryInformationW(db.Get(), nullptr, 20, info.Out());
    if (r != ERROR_SUCCESS)
      return FailMsi(L"opening the summary of " + out, r);
    if ((r = SetString(info.Get(), kPidTitle, L"Patch")) != ERROR_SUCCESS ||
        (r = SetString(info.Get(), kPidTemplate, targets)) != ERROR_SUCCESS ||
        (r = SetString(info.Get(), kPidLastAuthor, list)) != ERROR_SUCCESS ||
        (r = SetString(info.Get(), kPidRevNumber, patchCode)) != ERROR_SUCCESS ||
        (r = SetInt(info.Get(), kPidPageCount, 200)) != ERROR_SUCCESS ||
        (r = SetInt(info.Get(), kPidWordCount, 1)) != ERROR_SUCCESS)
      return FailMsi(L"setting the summary of " + out, r);
    r = MsiSummaryInfoPersist(info.Get());
    if (r != ERROR_SUCCESS)
      return FailMsi(L"saving the summary of " + out, r);
    info.Close();
    r = MsiDatabaseCommit(db.Get());
    if (r != ERROR_SUCCESS)
      return FailMsi(L"committing " + out, r);
  }

  if (!transforms.empty()) {
    ComPtr<IStorage> root;
    HRESULT hr = StgOpenStorage(out.c_str(), nullptr,
                                STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                root.Out());
    if (FAILED(hr))
      return FailHr(L"reopening " + out, hr);
    for (const auto& [name, path] : transforms) {
      ComPtr<IStorage> source;
      hr = StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                          source.Out());
      if (FAILED(hr))
        return FailHr(L"opening " + path, hr);
      ComPtr<IStorage> sub;
      hr = root->CreateStorage(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                               0, sub.Out());
      if (FAILED(hr))
        return FailHr(L"adding the substorage " + name, hr);
      hr = source->CopyTo(0, nullptr, nullptr, sub.Get());
      if (FAILED(hr))
        return FailHr(L"copying " + path, hr);
      hr = sub->SetClass(kTransformClsid);
      if (SUCCEEDED(hr))
        hr = sub->Commit(STGC_DEFAULT);
      if (FAILED(hr))
        return FailHr(L"finishing the substorage " + name, hr);
    }
    hr = root->Commit(STGC_DEFAULT);
    if (FAILED(hr))
      return FailHr(L"committing " + out, hr);
  }

  auto fileSize = [&out]() -> ULONGLONG {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(out.c_str(), GetFileExInfoStandard, &data))
      return 0;
    return (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  };
  if (pad > fileSize()) {
    // Direct mode and one size change: no second copy of the data and no zeros to write.
    ComPtr<IStorage> root;
    HRESULT hr =
        StgOpenStorage(out.c_str(), nullptr, STGM_DIRECT | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                       nullptr, 0, root.Out());
    if (FAILED(hr))
      return FailHr(L"reopening " + out, hr);
    ComPtr<IStream> stream;
    hr = root->CreateStream(EncodeStreamName(L"Padding", false).c_str(),
                            STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Out());
    if (FAILED(hr))
      return FailHr(L"adding the padding", hr);
    ULARGE_INTEGER size;
    size.QuadPart = pad - fileSize();
    hr = stream->SetSize(size);
    if (FAILED(hr))
      return FailHr(L"growing the padding", hr);
    // Writing the last byte makes sure the file really reaches that length.
    LARGE_INTEGER last;
    last.QuadPart = static_cast<LONGLONG>(size.QuadPart - 1);
    hr = stream->Seek(last, STREAM_SEEK_SET, nullptr);
    const BYTE zero = 0;
    if (SUCCEEDED(hr))
      hr = stream->Write(&zero, 1, nullptr);
    if (FAILED(hr))
      return FailHr(L"writing the padding", hr);
    stream.Reset();
    hr = root->Commit(STGC_DEFAULT);
    if (FAILED(hr))
      return FailHr(L"committing " + out, hr);
    root.Reset();
    if (fileSize() < pad)
      return Fail(L"the padded file is smaller than asked");
  }
  std::printf("%s %llu\n", Utf8(out).c_str(), static_cast<unsigned long long>(fileSize()));
  return 0;
}

int Configure(const std::vector<std::wstring>& args) {
  if (args.size() < 2)
    return 2;
  if (!IsGuid(args[0]))
    return Fail(L"the product code must be a GUID");
  std::wstring commandLine;
  for (size_t i = 1; i < args.size(); ++i) {
    if (i > 1)
      commandLine += L" ";
    commandLine += args[i];
  }
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  UINT r = MsiConfigureProductExW(args[0].c_str(), 0, INSTALLSTATE_DEFAULT, commandLine.c_str());
  std::printf("%u\n", r);
  return 0;
}

int Query(const std::vector<std::wstring>& args) {
  if (args.empty())
    return 2;
  for (const auto& code : args) {
    INSTALLSTATE state = MsiQueryProductStateW(code.c_str());
    wchar_t version[256] = L"";
    DWORD size = 256;
    if (MsiGetProductInfoW(code.c_str(), L"VersionString", version, &size) != ERROR_SUCCESS)
      version[0] = L'\0';
    std::printf("%s %d %s\n", Utf8(code).c_str(), static_cast<int>(state), Utf8(version).c_str());
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: msptool transform <out.mst> <productCode> <upgradeCode> <language> "
               "<fromVersion> <toVersion> [fail] [flags=<n>]\n"
               "       msptool patch <out.msp> <patchCode> <targetCodes> [<name>=<transform.mst> "
               "...] [pad=<bytes>]\n"
               "       msptool configure <productCode> <commandLine>...\n"
               "       msptool query <productCode>...\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2)
    return Usage();
  std::wstring command = argv[1];
  std::vector<std::wstring> args(argv + 2, argv + argc);
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int result = 2;
  if (command == L"transform" || command == L"patch") {
    result = command == L"transform" ? MakeTransform(args) : MakePatch(args);
    // A half-written file must not pass for a finished one in the next build.
    if (result == 1)
      DeleteFileW(args[0].c_str());
  } else if (command == L"configure") {
    result = Configure(args);
  } else if (command == L"query") {
    result = Query(args);
  }
  if (SUCCEEDED(hr))
    CoUninitialize();
  std::fflush(stdout);
  return result == 2 ? Usage() : result;
}
