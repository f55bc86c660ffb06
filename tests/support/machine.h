// A machine as most tests need it: the program's resources and a process on top.
#pragma once

#include <string>

#include "app/process.h"
#include "app/service_pack_main.h"
#include "install/apply.h"
#include "messages/show_message.h"
#include "recording_platform.h"

namespace sp::test {

inline constexpr char kPackageBytes[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 patch package";
inline constexpr char kNote206[] = "PatchSuffix=SP1\r\nProductVersionUpgrade=9.1.031.0";

// The English catalogue, short texts that keep the conversions of the real ones.
inline void AddEnglishCatalogue(RecordingPlatform& os) {
  os.model.AddCatalogue(1033, {{300, u"Failed.\n\n Error Code: %d"},
                               {301, u"Installed %s."},
                               {302, u"Close these:"},
                               {306, u"%s is up-to-date"},
                               {307, u"No Corvane product.\nCheck."},
                               {308, u"Not for this version of %s."},
                               {309, u"Bad command line."},
                               {310, u"Supply a patch list."},
                               {311, u"Installation Error"},
                               {312, u"Installation Successful"},
                               {313, u"Installation Unnecessary"},
                               {314, u"Deployment Warning"},
                               {315, u"Merge, do not append."},
                               {700, u"9.1.031.0"},
                               {900, u"9.1.030.0,"}});
}

struct Machine {
  Machine() {
    AddEnglishCatalogue(os);
    os.model.AddResource(u"MSP", u"IDR_MSP_TB",
                         std::string_view(kPackageBytes, sizeof kPackageBytes - 1));
    os.model.AddResource(u"TXT", u"#206", kNote206);
  }

  // What the messages of a run read, quiet as the process's options say.
  MessageContext messages() { return MessagesFor(process); }

  RecordingPlatform os;
  Process process{os, os.model.module};
};

// A whole install run on the machine's process, with its options.
inline InstallOutcome Apply(Machine& m) {
  return ApplyPatchToProducts(m.messages(), InstallOptionsFor(m.process), m.process.temporaryNames,
                              m.process.targetProducts, m.process.currentProductName);
}

}  // namespace sp::test
