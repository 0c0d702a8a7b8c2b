// The media maker's skin: which resource fills which slot of the cache.
#include "skin_cache.h"

namespace {
const CSkinCache::BitmapSlot kBitmaps[] = {
    {0, 147},  {1, 146},  {2, 148},  {3, 150},  {4, 151},  {5, 149},  {6, 153},
    {7, 152},  {8, 139},  {9, 136},  {10, 142}, {11, 133}, {12, 140}, {13, 137},
    {14, 143}, {15, 134}, {16, 141}, {17, 138}, {18, 144}, {19, 135}, {20, 145},
};
const CSkinCache::IconSlot kIcons[] = {{0, 157}, {1, 158}, {2, 154}, {3, 156}, {4, 155}};
}  // namespace

void CSkinCache::LoadBitmaps() { LoadBitmapTable(kBitmaps, sizeof(kBitmaps) / sizeof(kBitmaps[0])); }
void CSkinCache::LoadIcons() { LoadIconTable(kIcons, sizeof(kIcons) / sizeof(kIcons[0])); }
