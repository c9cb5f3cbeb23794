#include "game/RoomTable.h"

const RoomSetup RoomTable[RoomCount] = {
    {"Graphics\\flurberbathroom.bmp", "Music\\carribean.mid", 110, 15, 20, 4, 5},
    {"Graphics\\flurberbedroom2.bmp", "Music\\stepitup.mid", 100, 16, 20, 4, 5},
    {"Graphics\\flurberliving2.bmp", "Music\\hectic.mid", 120, 20, 20, 3, 8},
    {"Graphics\\flurberhall.bmp", "Music\\snazzyjazzy.mid", 120, 24, 30, 2, 15},
    {"Graphics\\flurberkitchen2.bmp", "Music\\doublebass.mid", 120, 30, 40, 1, 15},
};

const RoomSetup* FindRoom(int8_t level) {
    if (level < 1 || level > RoomCount) return nullptr;
    return &RoomTable[level - 1];
}
