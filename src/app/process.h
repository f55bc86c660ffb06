// The objects that live for the whole process. The entry point builds them
// whole and hands them to the main routine, which hands the modes and the
// install run what they use, most through MessagesFor and InstallOptionsFor.
#pragma once

#include <string>

#include "app/attendance.h"
#include "app/command_line.h"
#include "messages/run_log.h"
#include "payload/temporary_name.h"
#include "platform/platform.h"
#include "products/product_record.h"

namespace sp {

struct Process {
  Process(Platform& platform, ModuleHandle instance)
      : os(platform), module(instance), temporaryNames(platform) {}

  Platform& os;
  const ModuleHandle module;  // every resource and string-table look-up goes here
  Attendance attendance;      // asked first by the main routine
  RunOptions options;
  std::u16string currentProductName;
  TemporaryNameGenerator temporaryNames;
  TargetProductList targetProducts;
  RunLog log;  // silent unless "/log" names a file
};

}  // namespace sp
