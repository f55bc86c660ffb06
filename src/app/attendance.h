// Whether anyone can see the process, and with which rights it runs: what the
// program asks Windows before anything else.
#pragma once

#include <string>

#include "platform/platform.h"

namespace sp {

struct Attendance {
  // Someone can answer a box: the window station is visible and, from Windows
  // 6.0 on, the process is not in session 0. False also when a query failed.
  bool attended = true;
  // The run log's words for it: "desktop visible", or "no visible desktop:
  // quiet" and why (the station, session 0, or the call that failed).
  std::u16string desktop = u"desktop visible";
  bool elevated = true;
  // "elevated", or "not elevated" and, when the token could not be read, why.
  std::u16string elevation = u"elevated";
};

// Asks, in this order: the Windows version, the window station's flags, the
// session (from Windows 6.0 on, and only while the station is visible) and the
// token's elevation.
Attendance AskAttendance(Platform& os);

}  // namespace sp
