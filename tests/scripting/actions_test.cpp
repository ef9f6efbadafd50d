// Version 1.1's actions through the COM runtime under Wine: Send that raises the reason, a folder
// by its path, moves and copies that give the new message, and Search's refusal of a field name.
#include "scripting/scripting_test.h"

namespace pelkary::test {

namespace {

const std::wstring kManagerKey = L"SOFTWARE\\Microsoft\\Internet Account Manager";

class ScriptingActions : public ScriptingTest {
protected:
    void TearDown() override {
        ScriptingTest::TearDown();
        RegDeleteTreeW(HKEY_CURRENT_USER, kManagerKey.c_str());
    }
    long IdOf(IDispatch* folder) {
        com_ptr<IMXFolder> f = folder ? com_ptr<IDispatch>(folder).try_query<IMXFolder>() : com_ptr<IMXFolder>();
        return f ? Ask(f.get(), &IMXFolder::GetID) : -1;
    }
    long ByPath(const wchar_t* path) { return IdOf(Ask(store.get(), &IMXStore::FolderByPath, B(path).get()).get()); }
    std::wstring Failure(HRESULT expected, HRESULT hr, const wchar_t* source) {
        EXPECT_HR(expected, hr);
        const ErrorRecord error = ErrorInfoOf();
        EXPECT_EQ(error.source, source);
        return error.description;
    }
};

TEST_F(ScriptingActions, SendRaisesTheReasonItWasNotSent) {
    com_ptr<IMXMessage> nobody = PutAndOpen("Subject: s\r\nTo: , \r\n\r\nx");
    EXPECT_NE(Failure(E_FAIL, store->Send(nobody.get()), L"MXStore.Send").find(L"no recipient"), std::wstring::npos);
    com_ptr<IMXMessage> m = PutAndOpen("Subject: s\r\nBcc: b@example.org\r\n\r\nx");
    EXPECT_NE(Failure(E_FAIL, store->Send(m.get()), L"MXStore.Send").find(L"no default mail account"),
              std::wstring::npos);
    EXPECT_TRUE(Ids(FolderId(FOLDER_OUTBOX)).empty());

    const wchar_t id[] = L"00000001", name[] = L"Work";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, kManagerKey.c_str(), L"Default Mail Account", REG_SZ,
                                             id, sizeof id));
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, (kManagerKey + L"\\Accounts\\00000001").c_str(),
                                             L"Account Name", REG_SZ, name, sizeof name));
    EXPECT_HR(S_OK, store->Send(m.get()));
    EXPECT_EQ(Ids(FolderId(FOLDER_OUTBOX)).size(), 1u);
}

TEST_F(ScriptingActions, FolderByPathReadsTheToolsSyntax) {
    const long archive = NewFolder(L"Archive");
    const long year = NewFolder(L"2024", archive);
    const long slash = NewFolder(L"A/B", archive);
    const long number = NewFolder(std::to_wstring(year).c_str());
    EXPECT_EQ(ByPath(L"Archive/2024"), year);
    EXPECT_EQ(ByPath(L"/archive\\2024/"), year) << "case, a leading and a trailing separator, \\ between names";
    EXPECT_EQ(ByPath(L"Archive/A\\/B"), slash);
    EXPECT_EQ(ByPath((L"#" + std::to_wstring(slash)).c_str()), slash);
    EXPECT_EQ(ByPath(std::to_wstring(year).c_str()), number) << "a top-level name before an id";
    EXPECT_EQ(ByPath(std::to_wstring(slash).c_str()), slash) << "then the id";
    EXPECT_EQ(ByPath(L""), 0);
    for (const wchar_t* absent : {L"Archive/2025", L"Archive/A/B", L"#4000000000", L"#99999"})
        EXPECT_EQ(ByPath(absent), -1) << Narrow(absent);
}

TEST_F(ScriptingActions, MoveAndCopyGiveTheNewMessage) {
    const long archive = NewFolder(L"Archive");
    Put(archive, "Subject: already there\r\n\r\n");
    com_ptr<IMXMessage> m = PutAndOpen("Subject: original\r\n\r\nx");
    const MESSAGEID id = static_cast<MESSAGEID>(Ask(m.get(), &IMXMessage::GetID));

    com_ptr<IDispatch> copy = Ask(store.get(), &IMXStore::Copy, static_cast<IDispatch*>(m.get()), archive);
    ASSERT_TRUE(copy);
    com_ptr<IMXMessage> copied = copy.try_query<IMXMessage>();
    EXPECT_EQ(Ask(copied.get(), &IMXMessage::GetFolderID), archive);
    EXPECT_EQ(Ids(archive).back(), static_cast<MESSAGEID>(Ask(copied.get(), &IMXMessage::GetID)));
    EXPECT_EQ(Text(copy.get()), L"original");

    com_ptr<IDispatch> moved = Ask(store.get(), &IMXStore::Move, copy.get(), Inbox());
    ASSERT_TRUE(moved);
    EXPECT_EQ(Ids(Inbox()).size(), 2u);
    EXPECT_EQ(Ids(Inbox()).back(), static_cast<MESSAGEID>(Ask(moved.try_query<IMXMessage>().get(), &IMXMessage::GetID)));
    EXPECT_EQ(Ids(archive).size(), 1u);
    EXPECT_EQ(Ids(Inbox()).front(), id);

    com_ptr<IDispatch> none;
    com_ptr<IMXMessage> unsaved = CreateMessageObject();
    EXPECT_NE(Failure(E_INVALIDARG, store->Copy(unsaved.get(), archive, none.put()), L"MXStore.Copy").find(L"not stored"),
              std::wstring::npos);
    EXPECT_NE(Failure(E_INVALIDARG, store->Move(m.get(), 99999, none.put()), L"MXStore.Move").find(L"99999"),
              std::wstring::npos);
    EXPECT_EQ(Ids(Inbox()).front(), id) << "nothing moved";
}

TEST_F(ScriptingActions, SearchRefusesWhatCannotBeAFieldName) {
    Put(Inbox(), "Subject: s\r\n\r\n");
    for (const wchar_t* field : {L"", L"  ", L"Sub ject", L"Subject:", L"Caf\u00E9"}) {
        com_ptr<IMXMessageCollection> found;
        const std::wstring why = Failure(E_INVALIDARG,
                                         store->Search(Inbox(), B(field).get(), B(L"s").get(), VARIANT_FALSE, found.put()),
                                         L"MXStore.Search");
        EXPECT_NE(why.find(L"field"), std::wstring::npos) << Narrow(why);
    }
}

}  // namespace
}  // namespace pelkary::test
