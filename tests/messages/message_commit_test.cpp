// Commit, Clone and Send, with the current user's mail account written into the registry by the
// test itself.
#include "message_fixture.h"

namespace pelkary::test {
namespace {

const char kStored[] = "From: Ann <ann@example.org>\r\nSubject: Original\r\n\r\nOriginal body\r\n";
const wchar_t kManagerKey[] = L"SOFTWARE\\Microsoft\\Internet Account Manager";
const wchar_t kIdentitiesKey[] = L"Identities";

void SetString(const std::wstring& key, const wchar_t* name, const wchar_t* value) {
    HKEY k = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &k, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                            static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))));
    RegCloseKey(k);
}

// Each test starts and ends without account keys for the current user.
class MessageCommit : public MessageTest {
protected:
    void SetUp() override {
        ClearAccounts();
        MessageTest::SetUp();
    }
    void TearDown() override {
        MessageTest::TearDown();
        ClearAccounts();
    }
    static void ClearAccounts() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kManagerKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, kIdentitiesKey);
    }
    static void WriteDefaultAccount(const std::wstring& manager, const wchar_t* id, const wchar_t* name) {
        SetString(manager, L"Default Mail Account", id);
        SetString(manager + L"\\Accounts\\" + id, L"Account Name", name);
    }
    com_ptr<IMXMessage> CloneOf(IMXMessage* m, long folder) {
        com_ptr<IMXMessage> clone;
        EXPECT_HR(S_OK, m->Clone(folder, reinterpret_cast<::MXMessage**>(clone.put())));
        return clone;
    }
    std::wstring Prop(IMXMessage* m, const wchar_t* name) {
        long exist = 0;
        unique_bstr value;
        EXPECT_HR(S_OK, m->GetBodyPropByName(-1, B(name).get(), &exist, value.put()));
        return exist ? std::wstring(value.get(), value.length()) : L"<absent>";
    }
};

TEST_F(MessageCommit, CommitWithoutLoadedContentChangesNothing) {
    MESSAGEID id = Store(FOLDER_INBOX, kStored);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Commit));
    EXPECT_EQ(std::string(kStored), RawSource(FOLDER_INBOX, id));
}

TEST_F(MessageCommit, CommitOfAStoredMessageWritesBackUnderTheSameId) {
    MESSAGEID id = Store(FOLDER_INBOX, kStored);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyPropByName(-1, B(L"X-Reviewed").get(), B(L"yes").get(), &ok));
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Commit));
    EXPECT_EQ(static_cast<long>(id), Number(m.get(), &IMXMessage::GetID));
    EXPECT_EQ(std::vector<MESSAGEID>{id}, MessageIds(FOLDER_INBOX));
    std::string stored = RawSource(FOLDER_INBOX, id);
    EXPECT_NE(std::string::npos, stored.find("X-Reviewed: yes")) << stored;
    EXPECT_NE(std::string::npos, stored.find("Original body")) << stored;
}

TEST_F(MessageCommit, NewMessageNeedsAFolderThenBecomesStored) {
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyPropByName(-1, B(L"Subject").get(), B(L"Draft one").get(), &ok));
    EXPECT_HR(S_OK, m->SetBodyText(-1, B(L"draft text").get(), B(L"text").get(), B(L"plain").get(), &ok));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::Commit)) << "no folder yet";
    EXPECT_EQ(-1, Number(m.get(), &IMXMessage::GetID));

    EXPECT_HR(S_OK, m->SetFolderID(FolderId(FOLDER_DRAFT)));
    EXPECT_HR(S_OK, m->SetState(MX_MSG_UNSENT));
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Commit));
    long id = Number(m.get(), &IMXMessage::GetID);
    EXPECT_EQ(std::vector<MESSAGEID>{static_cast<MESSAGEID>(id)}, MessageIds(FOLDER_DRAFT));
    EXPECT_EQ(static_cast<DWORD>(MX_MSG_UNSENT), StoredState(FOLDER_DRAFT, static_cast<MESSAGEID>(id)));
    EXPECT_EQ(L"Draft one", Text(m.get(), &IMXMessage::GetSubject));
    EXPECT_EQ(MX_MSG_UNSENT, Number(m.get(), &IMXMessage::GetState));
    EXPECT_NE(std::wstring::npos, Text(m.get(), &IMXMessage::GetAllBody).find(L"draft text"));
}

TEST_F(MessageCommit, CommitIntoAFolderThatDoesNotExistFails) {
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyText(-1, B(L"x").get(), B(L"text").get(), B(L"plain").get(), &ok));
    EXPECT_HR(S_OK, m->SetFolderID(987654));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::Commit));
    EXPECT_EQ(-1, Number(m.get(), &IMXMessage::GetID));
}

TEST_F(MessageCommit, CloneOfAnUnsavedMessageIsNull) {
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    IMXMessage* clone = reinterpret_cast<IMXMessage*>(0x1);
    EXPECT_HR(S_OK, m->Clone(FolderId(FOLDER_DRAFT), reinterpret_cast<::MXMessage**>(&clone)));
    EXPECT_EQ(nullptr, clone);
}

TEST_F(MessageCommit, CloneCarriesSourceStateAndUncommittedRootProperties) {
    MESSAGEID id = Store(FOLDER_INBOX, kStored, MSG_UNREAD | MSG_RECEIVED);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    // A read position in the middle must not move.
    EXPECT_EQ(L"From", Text(m.get(), &IMXMessage::GetSource, 4));
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyPropByName(-1, B(L"X-Note").get(), B(L"not committed").get(), &ok));

    long drafts = FolderId(FOLDER_DRAFT);
    com_ptr<IMXMessage> clone = CloneOf(m.get(), drafts);
    ASSERT_TRUE(clone);
    EXPECT_EQ(-1, Number(clone.get(), &IMXMessage::GetID));
    EXPECT_EQ(drafts, Number(clone.get(), &IMXMessage::GetFolderID));
    EXPECT_EQ(L"not committed", Prop(clone.get(), L"X-Note"));
    EXPECT_EQ(L"Original", Prop(clone.get(), L"Subject"));
    EXPECT_EQ(L": Ann", Text(m.get(), &IMXMessage::GetSource, 5));

    EXPECT_EQ(1, Number(clone.get(), &IMXMessage::Commit));
    long copy_id = Number(clone.get(), &IMXMessage::GetID);
    ASSERT_NE(-1, copy_id);
    EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD | MSG_RECEIVED), StoredState(FOLDER_DRAFT, static_cast<MESSAGEID>(copy_id)));
    std::string stored = RawSource(FOLDER_DRAFT, static_cast<MESSAGEID>(copy_id));
    EXPECT_NE(std::string::npos, stored.find("X-Note: not committed")) << stored;
    EXPECT_NE(std::string::npos, stored.find("Original body")) << stored;
    // The original is untouched.
    EXPECT_EQ(std::string(kStored), RawSource(FOLDER_INBOX, id));
}

TEST_F(MessageCommit, CloneIntoAMissingFolderCannotBeCommitted) {
    com_ptr<IMXMessage> m = StoreAndOpen(kStored);
    ASSERT_TRUE(m);
    com_ptr<IMXMessage> clone = CloneOf(m.get(), 987654);
    ASSERT_TRUE(clone);
    EXPECT_EQ(987654, Number(clone.get(), &IMXMessage::GetFolderID));
    EXPECT_EQ(0, Number(clone.get(), &IMXMessage::Commit));
    EXPECT_EQ(-1, Number(clone.get(), &IMXMessage::GetID));
}

TEST_F(MessageCommit, SendWithoutDefaultAccountSendsNothing) {
    com_ptr<IMXMessage> m = StoreAndOpen(kStored);
    ASSERT_TRUE(m);
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::Send));
    EXPECT_TRUE(MessageIds(FOLDER_OUTBOX).empty());
    // An account key without its account subkey is no account either.
    SetString(kManagerKey, L"Default Mail Account", L"00000009");
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::Send));
    EXPECT_TRUE(MessageIds(FOLDER_OUTBOX).empty());
}

TEST_F(MessageCommit, SendTwicePutsTwoSubmittedCopiesInTheOutbox) {
    WriteDefaultAccount(kManagerKey, L"00000001", L"Work Mail");
    MESSAGEID id = Store(FOLDER_INBOX, kStored, MSG_RECEIVED);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Send));
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Send));
    std::vector<MESSAGEID> sent = MessageIds(FOLDER_OUTBOX);
    ASSERT_EQ(2u, sent.size());
    for (MESSAGEID copy : sent) {
        EXPECT_EQ(static_cast<DWORD>(MX_MSG_SUBMITTED), StoredState(FOLDER_OUTBOX, copy) & MX_MSG_SUBMITTED);
        EXPECT_NE(std::string::npos, RawSource(FOLDER_OUTBOX, copy).find("Original body"));
        // The account travels with the copy: read back from the store, it is still there.
        com_ptr<IMXMessage> stored = Open(FOLDER_OUTBOX, copy);
        ASSERT_TRUE(stored);
        EXPECT_EQ(L"Work Mail", Prop(stored.get(), L"att:athena-account-name"));
        long exist = 0;
        unique_bstr account;
        EXPECT_HR(S_OK, stored->GetBodyProp(-1, MX_PID_ATT_ACCOUNT, &exist, account.put()));
        EXPECT_EQ(1, exist);
        EXPECT_STREQ(L"00000001", account.get());
    }
    // The message itself stays where it was, with its old record.
    EXPECT_EQ(std::vector<MESSAGEID>{id}, MessageIds(FOLDER_INBOX));
    EXPECT_EQ(MSG_RECEIVED, Number(m.get(), &IMXMessage::GetState));
    EXPECT_EQ(static_cast<long>(id), Number(m.get(), &IMXMessage::GetID));
}

TEST_F(MessageCommit, SendStampsTheAccountOfTheLastIdentity) {
    // The fallback key names another account: the identity's own one wins.
    WriteDefaultAccount(kManagerKey, L"00000001", L"Fallback");
    const std::wstring identity = L"{6A5B9C21-0000-4000-8000-00000000AB01}";
    SetString(kIdentitiesKey, L"Last User ID", identity.c_str());
    WriteDefaultAccount(std::wstring(kIdentitiesKey) + L"\\" + identity + L"\\Software\\Microsoft\\Internet Account Manager",
                        L"00000002", L"Identity Mail");
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyText(-1, B(L"new mail").get(), B(L"text").get(), B(L"plain").get(), &ok));
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Send));
    // An unsaved message stays unsaved and keeps its MIME object with the stamps.
    EXPECT_EQ(-1, Number(m.get(), &IMXMessage::GetID));
    long exist = 0;
    unique_bstr value;
    EXPECT_HR(S_OK, m->GetBodyProp(-1, MX_PID_ATT_ACCOUNT, &exist, value.put()));
    EXPECT_EQ(1, exist);
    EXPECT_STREQ(L"00000002", value.get());
    EXPECT_EQ(L"Identity Mail", Prop(m.get(), L"att:athena-account-name"));
    std::vector<MESSAGEID> sent = MessageIds(FOLDER_OUTBOX);
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(static_cast<DWORD>(MX_MSG_SUBMITTED), StoredState(FOLDER_OUTBOX, sent[0]));

    // Without the identity's account key, the fallback is used.
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kIdentitiesKey) + L"\\" + identity).c_str());
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Send));
    EXPECT_EQ(L"Fallback", Prop(m.get(), L"att:athena-account-name"));
    EXPECT_EQ(2u, MessageIds(FOLDER_OUTBOX).size());
}

}  // namespace
}  // namespace pelkary::test
