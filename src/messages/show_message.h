// Shows one catalogued message to the user, or nothing in quiet mode.
#pragma once

#include <string_view>

#include "messages/catalogue.h"
#include "messages/message_id.h"
#include "messages/run_log.h"
#include "platform/platform.h"
#include "platform/status.h"

namespace sp {

// What showing a message reads besides its id: the platform, the module whose
// string tables hold the catalogue, and whether the run is quiet; the run log,
// which records each box shown or suppressed; and whose language the texts are
// read in.
struct MessageContext {
  Platform& os;
  ModuleHandle module;
  bool quiet;
  RunLog& log;
  TextLanguage language = TextLanguage::kThreadLocale;
};

// The same context, its texts read in the user's UI language: for the boxes that
// belong to no product (before any product is handled, and the final report).
MessageContext InUserLanguage(MessageContext messages);

// Shows message `id` in the context's language, with `productName` in place of
// its "%s", and returns when the user has closed it. Message 300 shows the
// thread's last error, read before anything else.
void ShowMessage(const MessageContext& messages, MessageId id,
                 std::u16string_view productName = {});

// The help: texts 316 to 319 in the context's language, the empty ones left out,
// each on a line of its own, in one box captioned "Service Pack". Asked for, so
// shown whether or not the run is quiet.
void ShowHelp(const MessageContext& messages);

// Message 300 with the code of `failure`, which becomes the thread's last error
// (also in quiet mode, where nothing is shown).
void ShowFailure(const MessageContext& messages, Failure failure);

}  // namespace sp
