// EnumHandles: the walks behind the HENUMSTORE handles of one kind (sub-folders, messages). A
// handle is the address of its walk, checked against the live set, so a stale or made-up handle
// fails with E_HANDLE instead of crashing. Thread-safe.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "store_api.h"

namespace mailstore_com {

template <typename Item>
class EnumHandles {
 public:
  // The handle of a new walk over `items`, of which the caller has used the first already.
  HENUMSTORE Open(std::vector<Item> items) {
    auto walk = std::make_unique<Walk>(Walk{std::move(items), 1});
    std::lock_guard<std::mutex> guard(lock_);
    live_.insert(walk.get());
    return reinterpret_cast<HENUMSTORE>(walk.release());
  }

  // The walk's next item: S_OK, S_FALSE at its end, E_HANDLE for a handle that is not open.
  HRESULT Next(HENUMSTORE handle, Item* item) {
    std::lock_guard<std::mutex> guard(lock_);
    auto found = live_.find(reinterpret_cast<Walk*>(handle));
    if (found == live_.end()) return E_HANDLE;
    Walk& walk = **found;
    if (walk.next >= walk.items.size()) return S_FALSE;
    *item = walk.items[walk.next++];
    return S_OK;
  }

  // Ends the walk: S_OK, or E_HANDLE for a handle that is not open.
  HRESULT Close(HENUMSTORE handle) {
    std::unique_ptr<Walk> walk(reinterpret_cast<Walk*>(handle));
    std::lock_guard<std::mutex> guard(lock_);
    if (!live_.erase(walk.get())) {
      walk.release();  // not ours to free
      return E_HANDLE;
    }
    return S_OK;
  }

 private:
  struct Walk {
    std::vector<Item> items;
    size_t next;
  };

  std::mutex lock_;
  std::set<Walk*> live_;
};

}  // namespace mailstore_com
