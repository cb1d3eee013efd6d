#pragma once

// What the system offers for a network connection beyond Qt.

#include <cstdint>

// Asks the system to acknowledge what the connection received at once instead of holding
// the acknowledgement back for an answer to ride on. A device server that does not send a
// small piece while an earlier one is unacknowledged (Nagle's rule) would otherwise hold
// the rest of every block until the delayed acknowledgement comes, some 40 ms. Must be
// asked again after every read; does nothing where the system has no such request.
void RequestQuickAck(intptr_t descriptor);
