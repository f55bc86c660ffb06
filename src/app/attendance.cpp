#include "app/attendance.h"

#include "messages/format.h"

namespace sp {
namespace {

constexpr std::uint32_t kWsfVisible = 1;  // USEROBJECTFLAGS.dwFlags of a visible station
// From Windows 6.0 on, session 0 holds services alone; before, the console user
// logs on to it.
constexpr std::uint32_t kFirstVersionWithUnseenSessionZero = 6;

std::u16string Failed(std::u16string_view call, Platform& os) {
  return std::u16string(call) + u" failed with error " + DecimalText(os.GetLastError());
}

// Why nobody can see the process, or empty when someone can.
std::u16string WhyUnseen(Platform& os) {
  // A version it cannot tell counts as 6.0 or later, where session 0 is nobody's.
  const std::optional<OsVersion> version = os.RtlGetVersion();
  const WindowStationHandle station = os.GetProcessWindowStation();
  if (station == WindowStationHandle{}) {
    return Failed(u"GetProcessWindowStation", os);
  }
  const std::optional<std::uint32_t> flags = os.GetUserObjectInformationW(station);
  if (!flags) {
    return Failed(u"GetUserObjectInformationW", os);
  }
  if ((*flags & kWsfVisible) == 0) {
    return u"window station not visible";
  }
  if (version && version->major < kFirstVersionWithUnseenSessionZero) {
    return u"";
  }
  const std::optional<std::uint32_t> session = os.ProcessIdToSessionId(os.GetCurrentProcessId());
  if (!session) {
    return Failed(u"ProcessIdToSessionId", os);
  }
  return *session == 0 ? u"session 0" : u"";
}

}  // namespace

Attendance AskAttendance(Platform& os) {
  Attendance attendance;
  if (const std::u16string why = WhyUnseen(os); !why.empty()) {
    attendance.attended = false;
    attendance.desktop = u"no visible desktop: quiet (" + why + u")";
  }
  // Windows before 6.0 has no TokenElevation: the query fails there, and the run
  // counts as not elevated, with the error in the log.
  const std::optional<bool> elevated = os.GetTokenElevation();
  attendance.elevated = elevated.value_or(false);
  if (!elevated) {
    attendance.elevation = u"not elevated (" + Failed(u"reading the token's elevation", os) + u")";
  } else if (!*elevated) {
    attendance.elevation = u"not elevated";
  }
  return attendance;
}

}  // namespace sp
