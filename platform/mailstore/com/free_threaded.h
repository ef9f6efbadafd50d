// FreeThreaded: what makes the store's objects agile. Each is thread-safe and holds nothing tied
// to an apartment (the engine and the connection take their own locks; windows are only posted
// to), so a pointer to one serves every apartment of the process: the free-threaded marshaler it
// aggregates hands the pointer itself to another apartment instead of a proxy.
#pragma once

#include <windows.h>

#include <mutex>

#include "comsupport/com_ptr.h"

namespace mailstore_com {

class FreeThreaded {
 public:
  // IMarshal for `outer`, the object that holds this; E_NOINTERFACE for any other id (and when
  // the marshaler cannot be made). Thread-safe.
  HRESULT Query(IUnknown* outer, REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IMarshal)) return E_NOINTERFACE;
    std::call_once(made_, [&] { CoCreateFreeThreadedMarshaler(outer, marshaler_.put()); });
    return marshaler_ ? marshaler_->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }

 private:
  std::once_flag made_;
  pelkary::com_ptr<IUnknown> marshaler_;  // inner object of the aggregate
};

}  // namespace mailstore_com
