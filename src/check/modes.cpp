// The administrator's modes: "/e" writes the embedded package, "/p" the notes, "/i"
// shows the target products.
#include <cstring>

#include "check/files.h"
#include "check/observer.h"
#include "check/steps.h"
#include "messages/format.h"

namespace sp::check {

std::u16string WindowsText(const std::vector<SeenWindow>& windows) {
  std::u16string text;
  for (const SeenWindow& window : windows) {
    text += (text.empty() ? u"" : u" | ") + window.caption + u": " +
            (window.kind == WindowKind::kMessageBox ? window.text : u"(" + window.className + u")");
  }
  return text.empty() ? u"none" : text;
}

void CheckModes(CheckState& state) {
  const std::u16string extracted = Join(state.folder, u"package.msp");
  RemoveFile(state.os, extracted);
  const PackRun extract = state.machine.RunPack(state.pack, u"/e " + Quoted(extracted),
                                                RunPlace::kDesktop, nullptr, state.timeout);
  const Expected<std::string> bytes = ReadWholeFile(state.os, extracted);
  const std::span<const std::byte> package = state.contents.package;
  const bool same = bytes.ok() && bytes->size() == package.size() &&
                    std::memcmp(bytes->data(), package.data(), package.size()) == 0;
  state.report.Check(Exited(extract, 0) && same, u"extract.package",
                     u"exit code 0, " + extracted + u" identical to the embedded package (" +
                         DecimalText(static_cast<std::uint32_t>(package.size())) + u" bytes)",
                     RunText(extract, state.timeout) + u", " +
                         (!bytes.ok() ? u"no file"
                                      : DecimalText(static_cast<std::uint32_t>(bytes->size())) +
                                            (same ? u" identical bytes" : u" bytes that differ")));

  const std::u16string list = Join(state.folder, u"list.txt");
  RemoveFile(state.os, list);
  const PackRun listed = state.machine.RunPack(state.pack, u"/p " + Quoted(list),
                                               RunPlace::kDesktop, nullptr, state.timeout);
  const Expected<std::string> records = ReadWholeFile(state.os, list);
  const std::string expected = ExpectedPatchList(state.contents.notes);
  state.report.Check(
      Exited(listed, 0) && records.ok() && *records == expected, u"patch-list.records",
      u"exit code 0, " + list + u" holding one record per note (" +
          DecimalText(static_cast<std::uint32_t>(state.contents.notes.size())) + u", " +
          DecimalText(static_cast<std::uint32_t>(expected.size())) + u" bytes)",
      RunText(listed, state.timeout) + u", " +
          (!records.ok()
               ? u"no file"
               : DecimalText(static_cast<std::uint32_t>(records->size())) +
                     (*records == expected ? u" bytes as expected" : u" bytes that differ")));

  RecordingObserver observer;
  const PackRun shown =
      state.machine.RunPack(state.pack, u"/i", RunPlace::kDesktop, &observer, state.timeout);
  SeenWindow box;
  box.kind = WindowKind::kMessageBox;
  box.caption = u"List of Products";
  box.text = state.contents.targets;
  const std::vector<SeenWindow> boxes = observer.Of(WindowKind::kMessageBox);
  const bool one = boxes.size() == 1 && boxes[0].caption == box.caption &&
                   boxes[0].text == box.text && observer.Of(WindowKind::kOther).empty();
  state.report.Check(
      Exited(shown, 0) && one, u"list.box", u"exit code 0, one box " + WindowsText({box}),
      RunText(shown, state.timeout) + u", " + WindowsText(observer.Of(WindowKind::kMessageBox)) +
          (observer.Of(WindowKind::kOther).empty()
               ? u""
               : u"; other windows: " + WindowsText(observer.Of(WindowKind::kOther))));
}

}  // namespace sp::check
