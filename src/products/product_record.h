// What the install run knows about one targeted product, and the list of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sp {

struct ProductRecord {
  std::int32_t reserved1 = 0;
  std::int32_t reserved2 = 0;
  std::u16string reserved3;
  std::u16string productCode;
  std::u16string upgradeVersion;
  std::u16string productName;
  std::u16string language;
  std::u16string reserved8;
  std::u16string commandLine;
  std::u16string candidateVersions;
  std::u16string reserved11;
  std::u16string installedVersion;
};

// One heap record per present target product, in the order of the package's list.
using TargetProductList = std::vector<std::unique_ptr<ProductRecord>>;

}  // namespace sp
