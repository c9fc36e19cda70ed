// The whole run: every phase once, in order, whatever the phases before did.
#pragma once

namespace run {

// Services, service keys, class filters, the sweep of every root for every
// pattern, and the restart question. Writes nothing of its own.
void CleaningRun();

}  // namespace run
