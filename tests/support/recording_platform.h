// A test double of the platform: it answers from a small model of a machine
// (resources, string tables, files, installed products) that each test sets up,
// and records every call with its arguments, in order, in one log.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <optional>
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
  bool directory = false;
  std::vector<std::byte> data;
  bool operator==(const FakeFile&) const = default;
};

struct FakeProduct {
  int state = 5;
  std::map<std::u16string, std::u16string> info;  // attribute -> text
  std::deque<std::uint32_t> configureResults;     // popped per call; 0 when empty
};

class RecordingPlatform : public Platform {
 public:
  RecordingPlatform();

  // ---- the model ----
  ModuleHandle module = ModuleHandle(0x400000);
  std::map<std::pair<std::u16string, std::u16string>, FakeResource> resources;  // (type, name)
  std::map<std::uint16_t, std::map<std::uint32_t, std::u16string>> strings;     // language -> id
  std::uint32_t threadLocale = 1033;
  std::uint32_t userDefaultLocale = 1033;
  std::uint32_t lastError = 0;

  std::u16string processCommandLine = u"servicepack.exe";
  bool splitFails = false;
  std::optional<std::vector<std::u16string>> arguments;  // the split, instead of splitting
  std::map<std::u16string, std::u16string> environment;

  std::u16string tempPath = u"C:\\T\\";
  std::u16string currentDirectory = u"C:\\W";
  std::map<std::u16string, FakeFile> files;                 // full path -> entry
  std::map<std::u16string, std::uint32_t> attributeErrors;  // GetFileAttributesW refused
  std::u16string deniedPrefix;  // GetFileAttributesW refuses every path starting with it
  std::map<std::u16string, std::uint32_t> openErrors;  // CreateFileW refused
  std::set<std::u16string> failingCreateDirectory;
  std::set<std::u16string> failingMoves;
  std::uint64_t diskSpace = ~std::uint64_t{0};  // bytes the disk still takes
  std::map<int, std::uint32_t> failingWrites;   // WriteFile call number (from 1) -> error
  std::map<int, std::uint32_t> partialWrites;   // WriteFile call number -> bytes accepted, ok
  bool setEndOfFileFails = false;
  bool closeFails = false;  // CloseHandle reports failure (the handle is closed all the same)

  std::u16string summaryText;                      // property 7 of every package that opens
  std::deque<std::uint32_t> summaryStatuses;       // forced statuses of the property reads
  std::optional<std::uint32_t> summaryOpenStatus;  // forced status of the open
  std::map<std::u16string, FakeProduct> products;

  // ---- what happened ----
  std::vector<std::string> log;
  struct Box {
    std::string text;
    std::string caption;
    std::uint32_t style;
  };
  std::vector<Box> boxes;

  // Calls in the log whose name starts with one of the prefixes.
  std::vector<std::string> Calls(std::initializer_list<std::string_view> prefixes) const;
  void AddCatalogue(std::uint16_t language, std::map<std::uint32_t, std::u16string> entries);
  void AddResource(std::u16string type, std::u16string name, std::string_view bytes);
  std::string FileText(const std::u16string& path) const;
  bool Exists(const std::u16string& path) const { return files.count(path) != 0; }
  int openHandles() const { return static_cast<int>(open_.size()); }

  // ---- Platform ----
  ResourceHandle FindResourceW(ModuleHandle module, const std::u16string& name,
                               const std::u16string& type) override;
  std::uint32_t SizeofResource(ModuleHandle module, ResourceHandle resource) override;
  LoadedResource LoadResource(ModuleHandle module, ResourceHandle resource) override;
  const std::byte* LockResource(LoadedResource loaded) override;
  std::optional<std::span<const std::byte>> FindStringBlock(ModuleHandle module,
                                                            std::uint16_t block,
                                                            std::uint16_t language) override;
  std::uint32_t GetThreadLocale() override;
  bool SetThreadLocale(std::uint32_t locale) override;
  std::uint32_t GetUserDefaultLCID() override;
  std::uint32_t GetLastError() override;
  void SetLastError(std::uint32_t code) override;
  int MessageBoxW(const std::u16string& text, const std::u16string& caption,
                  std::uint32_t style) override;
  std::u16string GetCommandLineW() override;
  std::optional<std::vector<std::u16string>> CommandLineToArgvW(
      const std::u16string& commandLine) override;
  std::optional<std::u16string> GetEnvironmentVariableW(const std::u16string& name) override;
  std::unique_ptr<Lock> CreateLock() override;
  TempPathResult GetTempPathW(std::uint32_t bufferLength) override;
  FullPathResult GetFullPathNameW(const std::u16string& path, std::uint32_t bufferLength) override;
  std::uint32_t GetFileAttributesW(const std::u16string& path) override;
  bool CreateDirectoryW(const std::u16string& path) override;
  FindHandle FindFirstFileW(const std::u16string& path, std::uint32_t& attributes) override;
  bool FindClose(FindHandle find) override;
  bool DeleteFileW(const std::u16string& path) override;
  bool MoveFileReplaceW(const std::u16string& from, const std::u16string& to) override;
  FileHandle CreateFileW(const std::u16string& path, std::uint32_t access, std::uint32_t share,
                         std::uint32_t disposition, std::uint32_t attributes) override;
  std::uint32_t SetFilePointer(FileHandle file, std::int32_t distance,
                               std::uint32_t method) override;
  WriteResult WriteFile(FileHandle file, std::span<const std::byte> bytes) override;
  bool SetEndOfFile(FileHandle file) override;
  bool FlushFileBuffers(FileHandle file) override;
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

 private:
  struct OpenFile {
    std::u16string path;
    std::uint32_t position = 0;
  };
  void Record(std::string call);
  std::u16string Parent(const std::u16string& path) const;
  bool ParentIsDirectory(const std::u16string& path) const;

  std::vector<std::pair<std::u16string, std::u16string>> resourceKeys_;
  std::list<std::vector<std::byte>> blocks_;  // string blocks handed out, kept alive
  std::map<std::uintptr_t, OpenFile> open_;
  std::uintptr_t nextHandle_ = 0x100;
  std::set<std::uint32_t> openSummaries_;
  int writeCalls_ = 0;
};

}  // namespace sp::test
