// The media maker's skin: which resource fills which slot of the cache.
#include "media_art_ids.h"
#include "skin_cache.h"

namespace orva::ui {

namespace {
const CSkinCache::BitmapSlot kBitmaps[] = {
    {0, IDB_SKIN_SLOT_0},   {1, IDB_SKIN_SLOT_1},   {2, IDB_SKIN_SLOT_2},   {3, IDB_SKIN_SLOT_3},
    {4, IDB_SKIN_SLOT_4},   {5, IDB_SKIN_SLOT_5},   {6, IDB_SKIN_SLOT_6},   {7, IDB_SKIN_SLOT_7},
    {8, IDB_SKIN_SLOT_8},   {9, IDB_SKIN_SLOT_9},   {10, IDB_SKIN_SLOT_10}, {11, IDB_SKIN_SLOT_11},
    {12, IDB_SKIN_SLOT_12}, {13, IDB_SKIN_SLOT_13}, {14, IDB_SKIN_SLOT_14}, {15, IDB_SKIN_SLOT_15},
    {16, IDB_SKIN_SLOT_16}, {17, IDB_SKIN_SLOT_17}, {18, IDB_SKIN_SLOT_18}, {19, IDB_SKIN_SLOT_19},
    {20, IDB_SKIN_SLOT_20},
};
const CSkinCache::IconSlot kIcons[] = {
    {0, IDI_SKIN_SET_0}, {1, IDI_SKIN_SET_1}, {2, IDI_SKIN_SET_2}, {3, IDI_SKIN_SET_3}, {4, IDI_SKIN_SET_4}};
}  // namespace

void CSkinCache::LoadBitmaps() { LoadBitmapTable(kBitmaps, sizeof(kBitmaps) / sizeof(kBitmaps[0])); }
void CSkinCache::LoadIcons() { LoadIconTable(kIcons, sizeof(kIcons) / sizeof(kIcons[0])); }

}  // namespace orva::ui
