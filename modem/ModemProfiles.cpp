#include "modem/ModemProfiles.h"

#include <deque>
#include <stdexcept>

#include "util/Error.h"

namespace zorv {

namespace {

struct CommSlot {
    ModemProfile profile;
    std::string tag;
};

// A deque, so a profile a running operation holds by reference stays put when a nested
// handler adds a slot for another control.
std::deque<CommSlot>& Slots() {
    static std::deque<CommSlot> slots;
    return slots;
}

CommSlot& SlotAt(int slot) {
    std::deque<CommSlot>& slots = Slots();
    if (slot < 1 || static_cast<std::size_t>(slot) > slots.size())
        throw std::out_of_range("no comm slot " + std::to_string(slot));
    return slots[static_cast<std::size_t>(slot - 1)];
}

}  // namespace

int FINDCOMMSLOT(CommControl& comm) {
    std::string tag;
    try {
        tag = comm.Tag();
    } catch (const Error&) {
        // A control whose Tag cannot be read still gets a slot, under the empty Tag.
        tag.clear();
    }
    std::deque<CommSlot>& slots = Slots();
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (slots[i].tag == tag) return static_cast<int>(i + 1);
    slots.push_back(CommSlot{ModemProfile{}, tag});
    return static_cast<int>(slots.size());
}

int CommSlotCount() { return static_cast<int>(Slots().size()); }

ModemProfile& SlotProfile(int slot) { return SlotAt(slot).profile; }

const std::string& SlotTag(int slot) { return SlotAt(slot).tag; }

void ResetCommSlots() { Slots().clear(); }

}  // namespace zorv
