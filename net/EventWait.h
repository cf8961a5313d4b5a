#pragma once

#include <cstdint>

// Sleeps in the event loop until an event arrives or timeoutMs passes, then
// handles what arrived. Waiting loops call this instead of spinning.
void WaitForEvents(int64_t timeoutMs);
