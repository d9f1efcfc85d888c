// The stub has no event loop: the extraction code's passes through it have
// nothing to dispatch.
#include "platform/ui_contracts/message_pump.h"

namespace platform {

bool ProcessMessagesNow() { return false; }
bool ProcessMessages() { return false; }

}  // namespace platform
