// The record layouts of the store interfaces are part of the binary contract with the store:
// check them where both sides are compiled.
#include <windows.h>
#if __has_include("store_api.h")
#include "store_api.h"

static_assert(sizeof(FOLDERPROPS) == 280, "FOLDERPROPS is 280 bytes on every target");
#ifdef _WIN64
static_assert(sizeof(MESSAGEPROPS) == 96, "MESSAGEPROPS is 96 bytes on x86-64");
static_assert(sizeof(MESSAGEIDLIST) == 16, "MESSAGEIDLIST is 16 bytes on x86-64");
static_assert(sizeof(STORESEARCHROW) == 88, "STORESEARCHROW is 88 bytes on x86-64");
#else
static_assert(sizeof(MESSAGEPROPS) == 68, "MESSAGEPROPS is 68 bytes on 32-bit Windows");
static_assert(sizeof(MESSAGEIDLIST) == 12, "MESSAGEIDLIST is 12 bytes on 32-bit Windows");
static_assert(sizeof(STORESEARCHROW) == 60, "STORESEARCHROW is 60 bytes on 32-bit Windows");
#endif
#endif
