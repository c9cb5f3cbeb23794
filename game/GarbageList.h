#pragma once
#include <cstdint>

#include "game/GarbageItem.h"

// The garbage of one room: a counted singly linked list, newest item first, that owns its items.
class GarbageList {
public:
    GarbageList();
    ~GarbageList();
    GarbageList(const GarbageList&) = delete;
    GarbageList& operator=(const GarbageList&) = delete;

    // Makes a new item and puts it in front (index 0).
    void Add(int8_t type, int16_t x, int16_t y);
    // Unlinks and destroys the item; an item not in the list (or null) changes nothing.
    void Remove(GarbageItem* item);
    // Destroys every item.
    void Clear();

    bool IsEmpty() const { return count == 0; }
    int16_t Count() const { return count; }
    // Null when index is out of range.
    GarbageItem* At(int32_t index) const;
    // The item whose centre is nearest to the world x `position`; null when empty.
    // Ties go to the newer item, but an exact match after the head is returned at once.
    GarbageItem* Nearest(int16_t position) const;

    int16_t count;
    GarbageItem* head;
};
