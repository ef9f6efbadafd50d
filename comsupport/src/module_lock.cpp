#include "comsupport/module_lock.h"

namespace pelkary {

namespace {
volatile LONG g_count = 0;
}

void ModuleLock::Lock() noexcept { InterlockedIncrement(&g_count); }

void ModuleLock::Unlock() noexcept { InterlockedDecrement(&g_count); }

LONG ModuleLock::count() noexcept { return InterlockedCompareExchange(&g_count, 0, 0); }

}  // namespace pelkary
