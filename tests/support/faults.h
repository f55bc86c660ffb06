// Where the modelled machine fails, and the Windows error codes its failures leave.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace sp::test {

inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorOpenFailed = 110;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr std::uint32_t kErrorResourceNameNotFound = 1814;

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

}  // namespace sp::test
