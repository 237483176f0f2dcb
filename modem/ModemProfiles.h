#pragma once
// Per-control modem profiles. The library can drive several comm controls at once, each
// with its own modem; it tells them apart by the control's Tag. Slot n (from 1) of the
// profile table holds the ModemProfile of one control, slot n of the tag table its Tag.
// Both tables only grow, one slot at a time, and live as long as the program; every
// modem operation starts by looking up its control's slot with FINDCOMMSLOT.
#include <string>

#include "modem/CommControl.h"
#include "modem/ModemRecord.h"

namespace zorv {

// The slot of `comm`: the first slot whose tag equals the control's Tag exactly (letter
// case counts), else a new blank slot (blank texts, zero numbers) holding that Tag.
// A Tag that cannot be read counts as an empty Tag, so a slot of at least 1 is always
// returned; callers still treat 0 as "no slot".
int FINDCOMMSLOT(CommControl& comm);

// Number of slots so far (0 before the first lookup).
int CommSlotCount();

// The profile and the tag of slot `slot` (1 to CommSlotCount(); another number throws
// std::out_of_range). References stay valid while further slots are added.
ModemProfile& SlotProfile(int slot);
const std::string& SlotTag(int slot);

// Empties both tables. The program never does this: it is for tests, which need a
// fresh program's tables.
void ResetCommSlots();

}  // namespace zorv
