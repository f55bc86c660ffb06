#include "products/discovery.h"

#include <memory>

#include "messages/catalogue.h"
#include "messages/show_message.h"
#include "products/package_summary.h"

namespace sp {
namespace {

constexpr std::uint32_t kAttributeCapacity = 1024;
constexpr int kStateAdvertised = 1;
constexpr int kStateInstalled = 5;

std::u16string ReadAttribute(Process& process, const std::u16string& productCode,
                             const std::u16string& attribute) {
  return process.os.MsiGetProductInfoW(productCode, attribute, kAttributeCapacity).text;
}

bool Fail(Process& process) {
  ShowMessage(process, MessageId::kInstallFailed);
  return false;
}

}  // namespace

bool IsProductPresent(Process& process, const std::u16string& productCode) {
  const int state = process.os.MsiQueryProductStateW(productCode);
  return state == kStateAdvertised || state == kStateInstalled;
}

std::u16string ReadInstalledVersion(Process& process, const std::u16string& productCode) {
  return ReadAttribute(process, productCode, u"VersionString");
}

bool ReadProductIdentity(Process& process, const std::u16string& productCode, std::u16string& name,
                         std::u16string& language) {
  name = ReadAttribute(process, productCode, u"ProductName");
  language = ReadAttribute(process, productCode, u"Language");
  return true;
}

bool DiscoverTargetProducts(Process& process, const std::u16string& packagePath) {
  ProductRecord templateRecord;
  if (LoadCatalogString(process.os, process.module, MessageId::kUpgradeVersion,
                        templateRecord.upgradeVersion, kCatalogueCapacity) == 0 ||
      LoadCatalogString(process.os, process.module, MessageId::kCandidateVersions,
                        templateRecord.candidateVersions, kCatalogueCapacity) == 0) {
    return Fail(process);
  }
  std::u16string codes;
  if (!ReadTargetProductCodes(process, packagePath, codes)) {
    return Fail(process);
  }

  // The template holds the part of the list not yet walked, each code ended by
  // ";". An empty entry ends the walk.
  templateRecord.productCode = codes + u";";
  for (std::size_t end = templateRecord.productCode.find(u';');
       end != std::u16string::npos && end > 0; end = templateRecord.productCode.find(u';')) {
    auto record = std::make_unique<ProductRecord>(templateRecord);
    record->productCode = templateRecord.productCode.substr(0, end);
    if (IsProductPresent(process, record->productCode)) {
      record->installedVersion = ReadInstalledVersion(process, record->productCode);
      ReadProductIdentity(process, record->productCode, record->productName, record->language);
      process.targetProducts.push_back(std::move(record));
    }
    templateRecord.productCode.erase(0, end + 1);
  }
  return true;
}

}  // namespace sp
