// Shows one catalogued message to the user, or nothing in quiet mode.
#pragma once

#include "app/process.h"
#include "messages/message_id.h"

namespace sp {

void ShowMessage(Process& process, MessageId id);

}  // namespace sp
