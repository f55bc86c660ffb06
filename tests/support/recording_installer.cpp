#include "recording_platform.h"

#include "text_codec.h"

namespace sp::test {

// ---- Windows Installer ----

SummaryOpenResult RecordingPlatform::MsiGetSummaryInformationW(const std::u16string& packagePath,
                                                               std::uint32_t updateCount) {
  Record("MsiGetSummaryInformationW", {Utf8(packagePath), Decimal(updateCount)});
  // The installer finds a file by its short name as well.
  bool found = model.files.count(packagePath) != 0;
  for (const auto& [longPath, shortPath] : model.shortNames) {
    found = found || (shortPath == packagePath && model.files.count(longPath) != 0);
  }
  std::uint32_t status = found ? 0 : kErrorOpenFailed;
  status = faults.summaryOpenStatus.value_or(status);
  if (status != 0) {
    return SummaryOpenResult{status, MsiHandle{}};
  }
  const auto handle = static_cast<std::uint32_t>(nextHandle_++);
  openSummaries_[handle] = packagePath;
  return SummaryOpenResult{0, MsiHandle(handle)};
}

InstallerText RecordingPlatform::MsiSummaryInfoGetPropertyW(MsiHandle summary,
                                                            std::uint32_t property,
                                                            std::uint32_t bufferLength) {
  const auto it = openSummaries_.find(static_cast<std::uint32_t>(summary));
  Record("MsiSummaryInfoGetPropertyW",
         {it == openSummaries_.end() ? "closed summary" : "summary " + Utf8(it->second),
          Decimal(property), Decimal(bufferLength)});
  const auto length = static_cast<std::uint32_t>(model.summaryText.size());
  if (!faults.summaryStatuses.empty()) {
    const std::uint32_t status = faults.summaryStatuses.front();
    faults.summaryStatuses.pop_front();
    return InstallerText{status, u"", length};
  }
  if (length >= bufferLength) {
    return InstallerText{win::kErrorMoreData, model.summaryText.substr(0, bufferLength - 1),
                         length};
  }
  return InstallerText{0, model.summaryText, length};
}

std::uint32_t RecordingPlatform::MsiCloseHandle(MsiHandle handle) {
  const auto it = openSummaries_.find(static_cast<std::uint32_t>(handle));
  Record("MsiCloseHandle",
         {it == openSummaries_.end() ? "closed summary" : "summary " + Utf8(it->second)});
  if (it == openSummaries_.end()) {
    return kErrorInvalidHandle;
  }
  openSummaries_.erase(it);
  return 0;
}

int RecordingPlatform::MsiQueryProductStateW(const std::u16string& productCode) {
  Record("MsiQueryProductStateW", {Utf8(productCode)});
  const auto it = model.products.find(productCode);
  return it == model.products.end() ? -1 : it->second.state;
}

InstallerText RecordingPlatform::MsiGetProductInfoW(const std::u16string& productCode,
                                                    const std::u16string& attribute,
                                                    std::uint32_t bufferLength) {
  Record("MsiGetProductInfoW", {Utf8(productCode), Utf8(attribute), Decimal(bufferLength)});
  const auto product = model.products.find(productCode);
  if (product == model.products.end()) {
    return InstallerText{1605, u"", bufferLength};  // ERROR_UNKNOWN_PRODUCT
  }
  const auto value = product->second.info.find(attribute);
  if (value == product->second.info.end()) {
    return InstallerText{1608, u"", bufferLength};  // ERROR_UNKNOWN_PROPERTY
  }
  const auto length = static_cast<std::uint32_t>(value->second.size());
  if (length >= bufferLength) {
    return InstallerText{win::kErrorMoreData, value->second.substr(0, bufferLength - 1), length};
  }
  return InstallerText{0, value->second, length};
}

std::uint32_t RecordingPlatform::MsiEnableLogW(std::uint32_t logMode, const std::u16string& logFile,
                                               std::uint32_t attributes) {
  Record("MsiEnableLogW", {Hex(logMode), Utf8(logFile), Decimal(attributes)});
  installerLog_ = logFile;
  return 0;
}

std::uint32_t RecordingPlatform::MsiConfigureProductExW(const std::u16string& productCode,
                                                        int installLevel, int installState,
                                                        const std::u16string& commandLine) {
  Record("MsiConfigureProductExW",
         {Utf8(productCode), Decimal(installLevel), Decimal(installState), Utf8(commandLine)});
  // The installer writes a line into the log that is on, where it finds the file.
  if (const auto written = model.files.find(installerLog_);
      written != model.files.end() && !written->second.directory) {
    const std::vector<std::byte> line = Bytes("configure " + Utf8(productCode) + "\r\n");
    written->second.data.insert(written->second.data.end(), line.begin(), line.end());
  }
  FakeProduct& product = model.products[productCode];
  std::uint32_t result = 0;
  if (!product.configureResults.empty()) {
    result = product.configureResults.front();
    product.configureResults.pop_front();
  }
  if (result == 0 || result == win::kErrorSuccessRebootInitiated ||
      result == win::kErrorSuccessRebootRequired) {
    product.info[u"VersionString"] = product.versionAfterPatch.value_or(model.strings[1033][700]);
  }
  return result;
}

int RecordingPlatform::MsiSetInternalUI(int uiLevel) {
  Record("MsiSetInternalUI", {Decimal(uiLevel)});
  return 5;  // INSTALLUILEVEL_BASIC
}

}  // namespace sp::test
