// ScriptCollection: what the collections of the scripting library share: Count, Item(index)
// counted from 1 with DISP_E_BADINDEX outside 1..Count, and _NewEnum for For Each, all read from
// the entries the derived class lists at the moment of each call (so a collection can be live).
//
// Derived classes provide:
//   using Entry = ...;                                  // what the list holds
//   const std::vector<Entry>& Entries();                // the entries now; may throw
//   com_ptr<IDispatch> ObjectOf(const Entry&);          // its object, or null when gone; may throw
#pragma once

#include <memory>
#include <vector>

#include "comsupport/com_error.h"
#include "frame/automation_object.h"
#include "scripting/variant_enumerator.h"

namespace pelkary {

template <typename Derived, typename Interface>
class ScriptCollection : public AutomationObject<Derived, Interface> {
public:
    HRESULT STDMETHODCALLTYPE get_Count(long* count) override {
        return this->Guard(L"Count", [&] { *count = static_cast<long>(Self().Entries().size()); }, count);
    }

    // The enumerator walks the entries listed now; their objects are made as it reaches them.
    HRESULT STDMETHODCALLTYPE _NewEnum(IUnknown** enumerator) override {
        return this->Guard(L"_NewEnum", [&] {
            auto entries = std::make_shared<const std::vector<typename Derived::Entry>>(Self().Entries());
            // The enumerator keeps the collection (and so what its entries need) alive.
            com_ptr<IUnknown> keep(static_cast<Interface*>(this));
            Derived* self = &Self();
            auto produce = [entries, keep, self](size_t i) { return self->ObjectOf((*entries)[i]); };
            *enumerator = VariantEnumerator::Make(entries->size(), produce).detach();
        }, enumerator);
    }

protected:
    // Item(index) for an out-parameter of type T; null when the entry's object is gone.
    template <typename T>
    HRESULT ItemAt(long index, T** item) {
        return this->Guard(L"Item", [&] {
            const std::vector<typename Derived::Entry>& entries = Self().Entries();
            if (index < 1 || static_cast<size_t>(index) > entries.size())
                throw_described(DISP_E_BADINDEX, L"The index is outside the collection: the first item is 1, the last is Count.");
            if (com_ptr<IDispatch> object = Self().ObjectOf(entries[static_cast<size_t>(index) - 1]))
                *item = query_or_throw<T>(object.get()).detach();
        }, item);
    }

private:
    Derived& Self() { return *static_cast<Derived*>(this); }
};

}  // namespace pelkary
