// The property texts a qualifying product is reconfigured with.
#pragma once

#include <string>
#include <string_view>

namespace sp {

struct ReconfigurationCommandLines {
  std::u16string first;   // with the prompt that lists the applications to close
  std::u16string second;  // the patch alone
};

ReconfigurationCommandLines MakeCommandLines(std::u16string_view packagePath,
                                             std::u16string_view applicationsToClose);

}  // namespace sp
