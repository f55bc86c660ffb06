// Appending the deployment notes to a patch list file.
#pragma once

#include <string>

#include "messages/show_message.h"
#include "platform/status.h"

namespace sp {

inline constexpr char16_t kDefaultPatchList[] = u"patchlist.txt";

// Appends one record per note ("TXT" #206, #207, ... of the messages' module) to
// the file at `patchListPath` ("patchlist.txt" when empty): five "*" and CR LF,
// the note, CR LF. A record that fails is cut back to where it began. Succeeds
// when every note was appended; else reports the step that stopped it (message
// 310 or 300), or, where the cut-back failed too, the cut-back (message 300 and a
// line in the run log: part of the record stays).
Status WritePatchList(const MessageContext& messages, std::u16string& patchListPath);

}  // namespace sp
