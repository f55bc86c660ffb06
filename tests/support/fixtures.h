// What the unit tests share: the machine and the naming of parameterised cases.
#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

#include "machine.h"

namespace sp::test {

// Names a parameterised case after its `description`.
struct DescriptionName {
  template <typename Param>
  std::string operator()(const testing::TestParamInfo<Param>& info) const {
    std::string name = info.param.description;
    for (char& c : name) {
      c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
  }
};

}  // namespace sp::test
