#include "game/GarbageList.h"

namespace {

// Centres and distances are kept in 16 bits, like every other garbage coordinate.
int16_t CentreOf(const GarbageItem* item) {
    return static_cast<int16_t>(item->x + GarbageWidth / 2);
}

int16_t DistanceBetween(int16_t a, int16_t b) {
    int16_t difference = static_cast<int16_t>(a - b);
    return static_cast<int16_t>(difference < 0 ? -difference : difference);
}

}  // namespace

GarbageList::GarbageList() : count(0), head(nullptr) {}

GarbageList::~GarbageList() {
    Clear();
}

void GarbageList::Add(int8_t type, int16_t x, int16_t y) {
    GarbageItem* item = new GarbageItem(type, x, y);
    item->next = head;
    head = item;
    count = static_cast<int16_t>(count + 1);
}

void GarbageList::Remove(GarbageItem* item) {
    // A null item would otherwise match the last item's null `next`.
    if (count == 0 || item == nullptr) {
        return;
    }
    if (head == item) {
        head = item->next;
        delete item;
        count = static_cast<int16_t>(count - 1);
        return;
    }
    GarbageItem* current = head;
    for (int32_t steps = 0; steps < count && current != nullptr; ++steps) {
        if (current->next == item) {
            current->next = item->next;
            delete item;
            count = static_cast<int16_t>(count - 1);
            return;
        }
        current = current->next;
    }
}

void GarbageList::Clear() {
    GarbageItem* current = head;
    while (current != nullptr) {
        GarbageItem* following = current->next;
        delete current;
        current = following;
    }
    head = nullptr;
    count = 0;
}

GarbageItem* GarbageList::At(int32_t index) const {
    if (count == 0 || index < 0 || index >= count) {
        return nullptr;
    }
    GarbageItem* current = head;
    for (int32_t i = 0; i < index; ++i) {
        current = current->next;
    }
    return current;
}

GarbageItem* GarbageList::Nearest(int16_t position) const {
    if (count == 0) {
        return nullptr;
    }
    GarbageItem* best = head;
    int16_t bestDistance = DistanceBetween(position, CentreOf(head));
    for (GarbageItem* current = head->next; current != nullptr; current = current->next) {
        int16_t centre = CentreOf(current);
        if (centre == position) {
            return current;
        }
        int16_t distance = DistanceBetween(position, centre);
        if (distance < bestDistance) {
            best = current;
            bestDistance = distance;
        }
    }
    return best;
}
