// The manager's skin: which resource fills which slot of the cache.
#include "skin_cache.h"

namespace orva::ui {

namespace {
const CSkinCache::BitmapSlot kBitmaps[] = {
    {0, 216},  {1, 214},  {2, 217},  {3, 221},  {4, 222},  {5, 220},  {6, 224},  {7, 223},  {8, 206},
    {9, 203},  {10, 209}, {11, 200}, {12, 207}, {13, 204}, {14, 210}, {15, 201}, {16, 208}, {17, 205},
    {18, 211}, {19, 202}, {20, 212}, {21, 226}, {22, 225}, {23, 219}, {24, 218},
};
const CSkinCache::IconSlot kIcons[] = {
    {0, 243}, {1, 244},  {2, 237},  {3, 242},  {4, 241},  {5, 239},  {6, 232},  {7, 238},  {8, 229},
    {9, 227}, {10, 235}, {11, 240}, {12, 231}, {13, 230}, {14, 234}, {15, 233}, {16, 236},
};
}  // namespace

void CSkinCache::LoadBitmaps() { LoadBitmapTable(kBitmaps, sizeof(kBitmaps) / sizeof(kBitmaps[0])); }
void CSkinCache::LoadIcons() { LoadIconTable(kIcons, sizeof(kIcons) / sizeof(kIcons[0])); }

}  // namespace orva::ui
