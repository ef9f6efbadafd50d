// The scripting library through the COM runtime under Wine: MXStore early-bound (collections,
// search, lookup by Message-ID, Unicode fields, dates, the change feed, and what it answers for an
// argument that is not one of pelkary's messages), and as a late-bound client meets it: the
// registered library is the checked-in description, and every member of the objects a script
// reaches is found by name and, called through Invoke, runs the method of its own vtable slot.
#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>

#include "scripting/scripting_test.h"

namespace pelkary::test {

namespace {

const std::string kJapanese =  // 日本語, folded onto a second line
    "Subject: Report\r\n =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\r\nMessage-ID: <jp@example.org>\r\n"
    "From: =?UTF-8?B?w4lsb2TDrWU=?= <e@example.org>\r\n"
    "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
    "--b\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nthe quarterly FIGURES\r\n"
    "--b\r\nContent-Type: text/plain; name=\"=?UTF-8?B?w6l0w6kudHh0?=\"\r\n"
    "Content-Disposition: attachment; filename=\"=?UTF-8?B?w6l0w6kudHh0?=\"\r\n\r\nsecret word\r\n--b--\r\n";

// What a thread timer does when WaitForChanges dispatches it.
std::function<void()> g_on_timer;
void CALLBACK OnTimer(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (auto run = std::exchange(g_on_timer, nullptr)) run();
}

VARTYPE TypeOf(VARIANT value) { return V_VT(&value); }

TEST_F(ScriptingTest, MessagesIsLiveAndEnumeratesFromOne) {
    Put(Inbox(), "Subject: one\r\n\r\n1");
    const MESSAGEID two = Put(Inbox(), "Subject: two\r\n\r\n2");
    com_ptr<IMXMessageCollection> c = Ask(store.get(), &IMXStore::Messages, Inbox());
    EXPECT_EQ(Subjects(c.get()), (std::vector<std::wstring>{L"one", L"two"}));
    Put(Inbox(), "Subject: three\r\n\r\n3");
    EXPECT_EQ(Ask(c.get(), &IMXMessageCollection::get_Count), 3) << "the collection reads the folder anew";
    com_ptr<IDispatch> none;
    EXPECT_HR(DISP_E_BADINDEX, c->Item(0, none.put())) << "the first is 1 (the script tries past the last)";
    EXPECT_EQ(ErrorInfoOf().source, L"MXMessageCollection.Item");

    com_ptr<IUnknown> unknown = Ask(c.get(), &IMXMessageCollection::_NewEnum);
    com_ptr<IEnumVARIANT> walk = unknown.try_query<IEnumVARIANT>();
    ASSERT_TRUE(walk);
    ASSERT_HR(S_OK, walk->Skip(1));
    // A message removed after the walk began is passed over.
    com_ptr<IMXFolder> inbox = Folder(Inbox());
    EXPECT_EQ(Ask(inbox.get(), &IMXFolder::DeleteMessage, static_cast<long>(two), 1L), 1);
    VARIANT items[3] = {};
    ULONG fetched = 99;
    EXPECT_HR(S_FALSE, walk->Next(3, items, &fetched));
    ASSERT_EQ(fetched, 1u);
    ASSERT_EQ(V_VT(&items[0]), VT_DISPATCH);
    EXPECT_EQ(Text(V_DISPATCH(&items[0])), L"three");
    VariantClear(&items[0]);
    EXPECT_HR(S_FALSE, walk->Next(1, items, nullptr));
    ASSERT_HR(S_OK, walk->Reset());
    EXPECT_HR(S_OK, walk->Next(1, items, nullptr));
    EXPECT_EQ(Text(V_DISPATCH(&items[0])), L"one");
    VariantClear(&items[0]);
    EXPECT_EQ(Subjects(Ask(store.get(), &IMXStore::Messages, 0L).get()).size(), 0u) << "the root holds no messages";
}

TEST_F(ScriptingTest, SearchComparesDecodedFieldsAndTextBodiesWithoutCase) {
    const long sub = NewFolder(L"Sub", Inbox());
    Put(Inbox(), kJapanese);
    Put(Inbox(), "Subject: plain\r\nTo: Bob <bob@example.org>\r\nX-Tag: Alpha\r\n\r\nnothing");
    Put(sub, "Subject: below\r\nX-Tag: alphabet\r\n\r\nthe figures again");
    EXPECT_EQ(Found(Inbox(), L"Subject", L"\u65E5\u672C"), std::vector<std::wstring>{L"Report \u65E5\u672C\u8A9E"});
    EXPECT_EQ(Found(Inbox(), L"from", L"\u00C9LOD\u00CDE").size(), 1u) << "Unicode letters match without case";
    EXPECT_EQ(Found(Inbox(), L"To", L"BOB"), std::vector<std::wstring>{L"plain"});
    EXPECT_EQ(Found(Inbox(), L"x-tag", L"ALPHA"), std::vector<std::wstring>{L"plain"});
    EXPECT_EQ(Found(Inbox(), L"x-tag", L"alpha", true), (std::vector<std::wstring>{L"plain", L"below"}));
    EXPECT_EQ(Found(0, L"Body", L"figures", true).size(), 2u) << "the whole store from the root";
    EXPECT_EQ(Found(Inbox(), L"X-Absent", L"").size(), 0u) << "a message without the field never matches";
}

TEST_F(ScriptingTest, FindByMessageIdWithOrWithoutBrackets) {
    Put(Inbox(), "Subject: first\r\nMessage-ID: <dup@example.org>\r\n\r\n");
    Put(Inbox(), "Subject: other\r\nMessage-ID: <other@example.org>\r\n\r\n");
    Put(NewFolder(L"Later"), "Subject: last\r\nMessage-ID: <dup@example.org>\r\n\r\n");
    EXPECT_EQ(Text(Ask(store.get(), &IMXStore::FindByMessageId, B(L"<other@example.org>").get()).get()), L"other");
    EXPECT_EQ(Text(Ask(store.get(), &IMXStore::FindByMessageId, B(L" other@example.org ").get()).get()), L"other");
    EXPECT_EQ(Text(Ask(store.get(), &IMXStore::FindByMessageId, B(L"dup@example.org").get()).get()), L"last");
    for (const wchar_t* absent : {L"<nobody@example.org>", L"other@example", L"", static_cast<const wchar_t*>(nullptr)})
        EXPECT_FALSE(Ask(store.get(), &IMXStore::FindByMessageId, B(absent).get()));
}

TEST_F(ScriptingTest, FieldsNamesAndDatesOfAMessage) {
    com_ptr<IMXMessage> m = PutAndOpen(kJapanese);
    IDispatch* message = m.get();
    EXPECT_EQ(Ask(store.get(), &IMXStore::HeaderField, message, B(L"subject").get()), L"Report \u65E5\u672C\u8A9E");
    EXPECT_EQ(Ask(store.get(), &IMXStore::HeaderField, message, B(L"X-Absent").get()), L"");
    const long attachment = Ask(m.get(), &IMXMessage::GetFirstAttachment);
    EXPECT_EQ(Ask(store.get(), &IMXStore::FileName, message, attachment), L"\u00E9t\u00E9.txt");

    VARIANT received = Ask(store.get(), &IMXStore::ReceivedDate, message);
    SYSTEMTIME now, local;
    double today = 0, expected = 0;
    GetLocalTime(&now);
    SystemTimeToVariantTime(&now, &today);
    ASSERT_EQ(V_VT(&received), VT_DATE);
    EXPECT_NEAR(V_DATE(&received), today, 60.0 / 86400);

    // Sent dates in UTC (a zero year: no date), in the forms old mail still carries too.
    const std::pair<const char*, SYSTEMTIME> dates[] = {
        {"Tue, 1 Jul 2003 10:52:37 -1130", {2003, 7, 2, 1, 22, 22, 37, 0}},
        {"5 Jan 99 07:00 EST (comment)", {1999, 1, 2, 5, 12, 0, 0, 0}},
        {"29 Feb 2004 23:59", {2004, 2, 0, 29, 23, 59, 0, 0}},
        {"29 Feb 2003 10:00 +0000", {}}, {"x Jan 2003 10:00 +0000", {}}, {"1 Jan 2003 10:00 +0000 x", {}},
        {"yesterday", {}}};
    for (const auto& [date, utc] : dates) {
        com_ptr<IMXMessage> dated = PutAndOpen(std::string("Date: ") + date + "\r\n\r\n");
        VARIANT sent = Ask(store.get(), &IMXStore::SentDate, static_cast<IDispatch*>(dated.get()));
        ASSERT_EQ(V_VT(&sent), utc.wYear ? VT_DATE : VT_NULL) << date;
        if (!utc.wYear) continue;
        ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) && SystemTimeToVariantTime(&local, &expected));
        EXPECT_NEAR(V_DATE(&sent), expected, 0.5 / 86400) << date;
    }
    com_ptr<IMXMessage> undated = PutAndOpen("Subject: x\r\n\r\n");
    EXPECT_EQ(TypeOf(Ask(store.get(), &IMXStore::SentDate, static_cast<IDispatch*>(undated.get()))), VT_NULL);
    com_ptr<IMXMessage> unsaved = CreateMessageObject();
    EXPECT_EQ(TypeOf(Ask(store.get(), &IMXStore::ReceivedDate, static_cast<IDispatch*>(unsaved.get()))), VT_NULL);
}

TEST_F(ScriptingTest, AnythingButAMessageIsAnInvalidArgumentWithAnErrorObject) {
    com_ptr<IMXFolder> folder = Folder(Inbox());
    unique_bstr value;
    VARIANT date;
    EXPECT_HR(E_INVALIDARG, store->HeaderField(folder.get(), B(L"Subject").get(), value.put()));
    ErrorRecord error = ErrorInfoOf();
    EXPECT_EQ(error.source, L"MXStore.HeaderField");
    EXPECT_NE(error.description.find(L"MXMessage"), std::wstring::npos);
    EXPECT_EQ(GuidText(error.guid), GuidText(IID_IMXStore));
    EXPECT_HR(E_INVALIDARG, store->ReceivedDate(nullptr, &date));
    EXPECT_HR(E_POINTER, store->SentDate(folder.get(), nullptr));
}

TEST_F(ScriptingTest, ChangesAfterACursorAndWaiting) {
    const std::wstring start = Ask(store.get(), &IMXStore::ChangeCursor);
    EXPECT_EQ(Ask(store.get(), &IMXStore::WaitForChanges, B(start.c_str()).get(), 0L), VARIANT_FALSE);
    const long folder = NewFolder(L"Fresh");
    EXPECT_EQ(Ask(store.get(), &IMXStore::WaitForChanges, B(start.c_str()).get(), 0L), VARIANT_TRUE);
    // A message delivered by a timer of this thread: the wait must dispatch it, then see the change.
    const std::wstring before = Ask(store.get(), &IMXStore::ChangeCursor);
    MESSAGEID id = MESSAGEID_INVALID;
    g_on_timer = [&] { id = Put(folder, "Subject: new\r\n\r\n"); };
    SetTimer(nullptr, 0, 200, OnTimer);
    EXPECT_EQ(Ask(store.get(), &IMXStore::WaitForChanges, B(before.c_str()).get(), 20000L), VARIANT_TRUE);
    g_on_timer = nullptr;
    ASSERT_NE(id, MESSAGEID_INVALID);

    // The message's change, and the rest after a change's cursor, are the script's (script_author.js).
    com_ptr<IMXChangeCollection> changes = Ask(store.get(), &IMXStore::Changes, B(start.c_str()).get());
    com_ptr<IMXChange> created = Ask(changes.get(), &IMXChangeCollection::Item, 1L);
    ASSERT_TRUE(created);
    EXPECT_EQ(Ask(created.get(), &IMXChange::get_Kind), L"FolderCreated");
    EXPECT_EQ(Ask(created.get(), &IMXChange::get_FolderId), folder);
    EXPECT_EQ(Ask(created.get(), &IMXChange::get_MessageId), 0);

    std::wstring other = start;
    other[1] = other[1] == L'0' ? L'1' : L'0';
    VARIANT_BOOL changed;
    // A cursor past the newest change is one of a store put back from a copy.
    const std::wstring ahead = start.substr(0, start.find(L':') + 1) + L"99999999";
    for (const std::wstring& bad :
         {other, start.substr(0, start.find(L':') + 1), std::wstring(L"12"), start + L"x", ahead}) {
        com_ptr<IMXChangeCollection> refused;
        EXPECT_HR(STORE_E_HISTORYGONE, store->Changes(B(bad.c_str()).get(), refused.put())) << Narrow(bad);
        EXPECT_NE(ErrorInfoOf().description.find(L"rescan"), std::wstring::npos);
        EXPECT_HR(STORE_E_HISTORYGONE, store->WaitForChanges(B(bad.c_str()).get(), 0, &changed));
    }
    EXPECT_HR(E_INVALIDARG, store->WaitForChanges(B(start.c_str()).get(), -1, &changed));
}

// The registered library is the checked-in description (refreshed as frame_module's is, with
// -R scripting_store). Each member, called with numbers 1 and `message` for objects, answers or
// fails with an error object whose source names that very member: the DISPID that GetIDsOfNames
// gives reaches the method of the member's own vtable slot.
TEST_F(ScriptingTest, IsTheCheckedInDescriptionAndEveryMemberIsReachedByNameThroughInvoke) {
    com_ptr<ITypeLib> library;
    ASSERT_HR(S_OK, LoadRegisteredLibrary(library.put(), LIBID_PELKARY_SCRIPTING, 1, 0)) << "not registered";
    ExpectCheckedInDescription(library.get(), PELKARY_SOURCE_DIR "/tests/scripting/pelkary_scripting.typelib.txt");
    const LibraryDescription description(library.get());
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
