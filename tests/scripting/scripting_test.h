// The fixture of the scripting library's tests: an MXStore made through the COM runtime on a
// fresh store, and the subjects of what it finds.
#pragma once

#include <string>
#include <vector>

#include "pelkary_scripting.h"
#include "support/store_test.h"

namespace pelkary::test {

class ScriptingTest : public StoreTest {
protected:
    // The subject of a message in full Unicode.
    std::wstring Text(IDispatch* message) {
        if (!message) return L"<none>";
        return Ask(store.get(), &IMXStore::HeaderField, message, B(L"Subject").get());
    }
    // The subjects of a collection, through Item.
    std::vector<std::wstring> Subjects(IMXMessageCollection* c) {
        std::vector<std::wstring> out;
        for (long i = 1, n = Ask(c, &IMXMessageCollection::get_Count); i <= n; ++i)
            out.push_back(Text(Ask(c, &IMXMessageCollection::Item, i).get()));
        return out;
    }
    std::vector<std::wstring> Found(long folder, const wchar_t* field, const wchar_t* text, bool below = false) {
        return Subjects(Ask(store.get(), &IMXStore::Search, folder, B(field).get(), B(text).get(),
                            below ? VARIANT_TRUE : VARIANT_FALSE).get());
    }
    // Made once the base's apartment and store exist; released before the store is removed.
    com_ptr<IMXStore> store = CreateObject<IMXStore>(CLSID_MXStore);
};

}  // namespace pelkary::test
