// query_interface: the one QueryInterface body. An object lists which interface pointer answers
// which IID; the first entry that matches wins.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <initializer_list>

namespace pelkary {

struct InterfaceEntry {
    const IID& iid;
    IUnknown* answer;  // null: the object does not serve this IID now
};

// E_POINTER for a null `ppv`; else the matching entry's pointer with a reference added (S_OK), or
// null and E_NOINTERFACE.
HRESULT query_interface(REFIID riid, void** ppv, std::initializer_list<InterfaceEntry> entries) noexcept;

}  // namespace pelkary
