// The scripting library as a late-bound client meets it: the registered library is the checked-in
// description, and every member of the objects a script reaches is found by name and, called
// through Invoke, runs the method of its own vtable slot.
#include <algorithm>
#include <iterator>

#include "pelkary_scripting.h"
#include "support/store_test.h"

namespace pelkary::test {
namespace {

class ScriptingLibraryTest : public StoreTest {};

// The registered library is the checked-in description (refreshed as frame_type_library's is).
// Each member, called with numbers 1 and `message` for objects, answers or fails with an error
// object whose source names that very member: the DISPID that GetIDsOfNames gives reaches the
// method of the member's own vtable slot.
TEST_F(ScriptingLibraryTest, IsTheCheckedInDescriptionAndEveryMemberIsReachedByNameThroughInvoke) {
    com_ptr<ITypeLib> library;
    ASSERT_HR(S_OK, LoadRegisteredLibrary(library.put(), LIBID_PELKARY_SCRIPTING, 1, 0)) << "not registered";
    ExpectCheckedInDescription(library.get(), PELKARY_SOURCE_DIR "/tests/scripting/pelkary_scripting.typelib.txt");
    const LibraryDescription description(library.get());
    com_ptr<IMXStore> store = CreateObject<IMXStore>(CLSID_MXStore);
    ASSERT_TRUE(store);
    const std::wstring cursor = Ask(store.get(), &IMXStore::ChangeCursor);
    com_ptr<IMXMessage> message = PutAndOpen("Subject: s\r\nDate: Tue, 1 Jul 2003 10:52:37 +0200\r\n\r\nbody");
    com_ptr<IMXMessageCollection> messages = Ask(store.get(), &IMXStore::Messages, Inbox());
    com_ptr<IMXChangeCollection> changes = Ask(store.get(), &IMXStore::Changes, B(cursor.c_str()).get());
    ASSERT_TRUE(changes) << "the store keeps no change history";
    com_ptr<IMXChange> change = Ask(changes.get(), &IMXChangeCollection::Item, 1L);
    ASSERT_TRUE(change);
    const std::pair<std::string, IDispatch*> objects[] = {{"IMXStore", store.get()},
                                                          {"IMXMessageCollection", messages.get()},
                                                          {"IMXChangeCollection", changes.get()},
                                                          {"IMXChange", change.get()}};
    int interfaces = 0;
    for (const LibraryType& type : description.types()) {
        auto object = std::find_if(std::begin(objects), std::end(objects), [&](auto& o) { return o.first == type.name; });
        if (type.kind == "coclass") continue;
        ASSERT_NE(object, std::end(objects)) << type.name << " is not reached by this test";
        ++interfaces;
        for (const LibraryMember& member : type.members) {
            if (static_cast<unsigned long>(member.id) >= 0x60000000ul) continue;  // IUnknown and IDispatch
            SCOPED_TRACE(type.name + "." + member.name);
            const Invoked invoked = InvokeByName(object->second, member, ArgumentsOf(member, 1, message.get(), nullptr));
            if (invoked.hr == DISP_E_EXCEPTION)
                EXPECT_EQ(invoked.source, type.name.substr(1) + "." + member.name);
            else
                EXPECT_HR(S_OK, invoked.hr);
        }
    }
    EXPECT_EQ(interfaces, 4);
}

}  // namespace
}  // namespace pelkary::test
