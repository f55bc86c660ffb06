// Any argument vector gives consistent options, and every mode it selects runs
// to its end against the recording platform; help shows its one box alone, and
// a run that nobody can see shows none at all.
#include <cstdint>

#include "app/service_pack_main.h"
#include "fuzz_text.h"
#include "machine.h"

namespace {

const char16_t* const kTokens[] = {u"/q",         u"/e",          u"/p",     u"/i",  u"/Q",
                                   u"/E",         u"/P",          u"/I",     u"/",   u"",
                                   u"-q",         u"C:\\out.msp", u"/quiet", u"/qn", u"/passive",
                                   u"/norestart", u"/?",          u"/HELP",  u"/h"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  sp::test::Machine m;
  std::vector<std::u16string> arguments{u"servicepack.exe"};
  const auto count = input.ConsumeIntegralInRange<std::size_t>(0, 8);
  for (std::size_t i = 0; i < count; ++i) {
    arguments.push_back(sp::fuzz::TextOrKnown(input, kTokens, 64));
  }
  m.os.model.arguments = arguments;
  m.os.model.summaryText = sp::fuzz::Text(input, 64);
  m.os.model.windowStationFlags = input.ConsumeBool() ? 1 : 0;

  sp::ServicePackMain(m.process);

  const sp::RunOptions& o = m.process.options;
  const bool seen = m.process.attendance.attended;
  if (o.install == (o.extract || o.patchList || o.list) || !m.process.targetProducts.empty() ||
      !m.os.Leftovers().empty() || (o.help && seen && m.os.log.Boxes().size() != 1) ||
      (!seen && !m.os.log.Boxes().empty())) {
    __builtin_trap();
  }
  return 0;
}
