// Shows one catalogued message to the user, or nothing in quiet mode.
#pragma once

#include "app/process.h"
#include "messages/message_id.h"

namespace sp {

// Shows message `id` in the thread's language and returns when the user has
// closed it. Leaves the thread's last error as it found it.
void ShowMessage(Process& process, MessageId id);

}  // namespace sp
