#include "products/discovery.h"

#include <memory>

#include "messages/catalogue.h"
#include "messages/format.h"
#include "products/package_summary.h"

namespace sp {
namespace {

constexpr std::uint32_t kAttributeCapacity = 1024;
constexpr int kStateAdvertised = 1;
constexpr int kStateInstalled = 5;
constexpr std::uint32_t kErrorResourceNameNotFound = 1814;

}  // namespace

bool IsProductPresent(Platform& os, const std::u16string& productCode) {
  const int state = os.MsiQueryProductStateW(productCode);
  return state == kStateAdvertised || state == kStateInstalled;
}

Expected<std::u16string> ReadProductAttribute(Platform& os, const std::u16string& productCode,
                                              const std::u16string& attribute) {
  InstallerText read = os.MsiGetProductInfoW(productCode, attribute, kAttributeCapacity);
  if (read.status != win::kErrorSuccess) {
    return Failure(read.status);
  }
  return std::move(read.text);
}

Status DiscoverTargetProducts(Platform& os, ModuleHandle module, const std::u16string& packagePath,
                              TargetProductList& products, RunLog& log) {
  ProductRecord templateRecord;
  // A version text missing from the catalogue names no code of its own.
  if (LoadCatalogString(os, module, MessageId::kUpgradeVersion, templateRecord.upgradeVersion,
                        kCatalogueCapacity) == 0 ||
      LoadCatalogString(os, module, MessageId::kCandidateVersions, templateRecord.candidateVersions,
                        kCatalogueCapacity) == 0) {
    return Failure(kErrorResourceNameNotFound);
  }
  std::u16string codes;
  if (const Status read = ReadTargetProductCodes(os, packagePath, codes); !read.ok()) {
    return read;
  }
  log.Write(u"targets " + codes);

  // The template holds the part of the list not yet walked, each code ended by
  // ";". An empty entry ends the walk.
  templateRecord.productCode = codes + u";";
  for (std::size_t end = templateRecord.productCode.find(u';');
       end != std::u16string::npos && end > 0; end = templateRecord.productCode.find(u';')) {
    auto record = std::make_unique<ProductRecord>(templateRecord);
    record->productCode = templateRecord.productCode.substr(0, end);
    const bool present = IsProductPresent(os, record->productCode);
    log.Write(u"product " + record->productCode + (present ? u" present" : u" absent"));
    if (present) {
      const auto read = [&](const std::u16string& attribute) {
        auto text = ReadProductAttribute(os, record->productCode, attribute);
        if (text.ok()) {
          return std::move(*text);
        }
        log.Write(u"product " + record->productCode + u" " + attribute + u" unreadable: error " +
                  DecimalText(text.failure().code()));
        return std::u16string();
      };
      record->installedVersion = read(u"VersionString");
      record->productName = read(u"ProductName");
      record->language = read(u"Language");
      products.push_back(std::move(record));
    }
    templateRecord.productCode.erase(0, end + 1);
  }
  return Status();
}

}  // namespace sp
