// Commit, Clone and Send, with the current user's mail account written into the registry by the
// test itself.
#include <algorithm>
#include <cstdlib>
#include <regex>
#include <set>

#include "support/error_record.h"
#include "support/object_factory.h"
#include "support/store_test.h"

namespace pelkary::test {
namespace {

const char kStored[] = "From: Ann <ann@example.org>\r\nSubject: Original\r\n\r\nOriginal body\r\n";
const std::wstring kManagerKey = L"SOFTWARE\\Microsoft\\Internet Account Manager";
constexpr long kMissing = 987654;

void SetString(const std::wstring& key, const wchar_t* name, const wchar_t* value) {  // the key made if needed
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, value,
                                             static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))));
}

void WriteAccount(const std::wstring& manager, const wchar_t* id, const wchar_t* name) {
    SetString(manager, L"Default Mail Account", id);
    SetString(manager + L"\\Accounts\\" + id, L"Account Name", name);
}

// Each test starts and ends without account keys for the current user.
class MessageCommit : public StoreTest {
protected:
    void SetUp() override {
        ClearAccounts();
        StoreTest::SetUp();
    }
    void TearDown() override {
        StoreTest::TearDown();
        ClearAccounts();
    }
    static void ClearAccounts() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kManagerKey.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Identities");
    }
    bool Has(long folder, MESSAGEID id, const char* text) { return Source(folder, id).find(text) != std::string::npos; }
};

// A stored message commits back under its id, or not at all when nothing was loaded; a new one
// needs an existing folder, then becomes stored with its state.
TEST_F(MessageCommit, CommitWritesAStoredMessageBackAndAddsANewOneToItsFolder) {
    const MESSAGEID id = Put(Inbox(), kStored);
    com_ptr<IMXMessage> m = Open(Inbox(), id);
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::Commit));
    EXPECT_EQ(kStored, Source(Inbox(), id)) << "no MIME object loaded, nothing to commit";
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SetBodyPropByName, -1, B(L"X-Reviewed").get(), B(L"yes").get()));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::Commit));
    EXPECT_EQ(static_cast<long>(id), Ask(m.get(), &IMXMessage::GetID));
    EXPECT_EQ(std::vector<MESSAGEID>{id}, Ids(Inbox()));
    EXPECT_TRUE(Has(Inbox(), id, "X-Reviewed: yes")) << Source(Inbox(), id);
    EXPECT_TRUE(Has(Inbox(), id, "Original body")) << Source(Inbox(), id);

    com_ptr<IMXMessage> made = CreateMessageObject();
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::SetBodyPropByName, -1, B(L"Subject").get(), B(L"Draft one").get()));
    long done = 0;
    EXPECT_HR(S_OK, made->SetBodyText(-1, B(L"draft text").get(), B(L"text").get(), B(L"plain").get(), &done));
    EXPECT_EQ(0, Ask(made.get(), &IMXMessage::Commit)) << "no folder yet";
    EXPECT_EQ(-1, Ask(made.get(), &IMXMessage::GetID));
    const long drafts = FolderId(FOLDER_DRAFT);
    EXPECT_HR(S_OK, made->SetFolderID(drafts));
    EXPECT_HR(S_OK, made->SetState(MX_MSG_UNSENT));
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::Commit));
    const auto made_id = static_cast<MESSAGEID>(Ask(made.get(), &IMXMessage::GetID));
    EXPECT_EQ(std::vector<MESSAGEID>{made_id}, Ids(drafts));
    EXPECT_EQ(static_cast<DWORD>(MX_MSG_UNSENT), State(drafts, made_id));
    EXPECT_EQ(L"Draft one", Ask(made.get(), &IMXMessage::GetSubject));
    EXPECT_EQ(MX_MSG_UNSENT, Ask(made.get(), &IMXMessage::GetState));
    EXPECT_NE(std::wstring::npos, Ask(made.get(), &IMXMessage::GetAllBody).find(L"draft text"));
}

TEST_F(MessageCommit, ACloneCarriesSourceStateAndUncommittedRootPropertiesIntoItsFolder) {
    EXPECT_FALSE(Ask(CreateMessageObject().get(), &IMXMessage::Clone, 0)) << "an unsaved message has no clone";
    const MESSAGEID id = Put(Inbox(), kStored, MSG_UNREAD | MSG_RECEIVED);
    com_ptr<IMXMessage> m = Open(Inbox(), id);
    EXPECT_EQ(L"From", Ask(m.get(), &IMXMessage::GetSource, 4));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SetBodyPropByName, -1, B(L"X-Note").get(), B(L"not committed").get()));

    const long drafts = FolderId(FOLDER_DRAFT);
    com_ptr<IMXMessage> clone = Ask(m.get(), &IMXMessage::Clone, drafts);
    EXPECT_EQ(L": Ann", Ask(m.get(), &IMXMessage::GetSource, 5)) << "the read position did not move";
    EXPECT_EQ(-1, Ask(clone.get(), &IMXMessage::GetID));
    EXPECT_EQ(drafts, Ask(clone.get(), &IMXMessage::GetFolderID));
    EXPECT_EQ(L"not committed", BodyProp(clone.get(), L"X-Note"));
    EXPECT_EQ(1, Ask(clone.get(), &IMXMessage::Commit));
    const MESSAGEID copy = static_cast<MESSAGEID>(Ask(clone.get(), &IMXMessage::GetID));
    EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD | MSG_RECEIVED), State(drafts, copy));
    EXPECT_TRUE(Has(drafts, copy, "X-Note: not committed")) << Source(drafts, copy);
    EXPECT_TRUE(Has(drafts, copy, "Original body")) << Source(drafts, copy);
    EXPECT_EQ(kStored, Source(Inbox(), id)) << "the original is untouched";

    com_ptr<IMXMessage> lost = Ask(m.get(), &IMXMessage::Clone, kMissing);
    ASSERT_TRUE(lost) << "a clone into a folder that does not exist is made";
    EXPECT_EQ(0, Ask(lost.get(), &IMXMessage::Commit)) << "and cannot be committed";
}

TEST_F(MessageCommit, AFailedSendGivesZeroAndAnErrorObjectThatSaysWhy) {
    com_ptr<IMXMessage> m = Open(Inbox(), Put(Inbox(), kStored));
    auto expect_failure = [&](const wchar_t* why) {
        SCOPED_TRACE(Narrow(why));
        long sent = 7;
        EXPECT_HR(S_OK, m->Send(&sent));
        EXPECT_EQ(0, sent);
        const ErrorRecord error = ErrorInfoOf();
        EXPECT_EQ(L"MXMessage.Send", error.source);
        EXPECT_NE(std::wstring::npos, error.description.find(why)) << Narrow(error.description);
    };
    expect_failure(L"no default mail account");
    SetString(kManagerKey, L"Default Mail Account", L"00000009");
    expect_failure(L"(Accounts\\00000009) cannot be read");
    EXPECT_TRUE(Ids(FolderId(FOLDER_OUTBOX)).empty());

    WriteAccount(kManagerKey, L"00000009", L"Home");
    SetMarkerErrorInfo(L"stale");
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::Send));
    EXPECT_FALSE(ErrorInfoOf().present) << "a successful Send leaves no error object behind";
}

// Send puts submitted copies in the Outbox, stamped with the account, a Date and a Message-ID;
// the message itself stays as the client built it.
TEST_F(MessageCommit, SendPutsStampedSubmittedCopiesInTheOutboxAndLeavesTheMessageAsBuilt) {
    WriteAccount(kManagerKey, L"00000001", L"Work Mail");
    SetString(kManagerKey + L"\\Accounts\\00000001", L"SMTP Email Address", L"Ann <ann@mail.example.org>");
    const MESSAGEID id = Put(Inbox(), kStored, MSG_RECEIVED);
    com_ptr<IMXMessage> m = Open(Inbox(), id);
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::Send));
    const long outbox = FolderId(FOLDER_OUTBOX);
    ASSERT_EQ(1u, Ids(outbox).size());
    const MESSAGEID copy = Ids(outbox)[0];
    EXPECT_EQ(static_cast<DWORD>(MX_MSG_SUBMITTED), State(outbox, copy) & MX_MSG_SUBMITTED);
    EXPECT_EQ(L"Work Mail", BodyProp(Open(outbox, copy).get(), L"att:athena-account-name"));
    EXPECT_EQ(L"00000001", BodyProp(Open(outbox, copy).get(), -1, MX_PID_ATT_ACCOUNT));
    EXPECT_TRUE(Has(outbox, copy, "Original body"));
    EXPECT_EQ(std::vector<MESSAGEID>{id}, Ids(Inbox())) << "the message itself stays where it was";
    EXPECT_EQ(MSG_RECEIVED, Ask(m.get(), &IMXMessage::GetState));

    com_ptr<IMXMessage> made = CreateMessageObject();
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::SetBodyPropByName, -1, B(L"Subject").get(), B(L"Fresh").get()));
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::Send));
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::Send));
    EXPECT_EQ(-1, Ask(made.get(), &IMXMessage::GetID)) << "an unsaved message stays unsaved";
    ASSERT_EQ(3u, Ids(outbox).size());

    SYSTEMTIME now{};
    GetLocalTime(&now);
    char today[16];
    snprintf(today, sizeof today, "%02u %.3s %04u", now.wDay,
             &"JanFebMarAprMayJunJulAugSepOctNovDec"[3 * (now.wMonth - 1)], now.wYear);
    const std::regex date(std::string("(^|\r\n)Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), ") + today +
                          " ([0-2][0-9]):([0-5][0-9]):[0-6][0-9] ([+-])([0-9]{2})([0-9]{2})\r\n");
    const std::regex message_id("(^|\r\n)Message-ID: (<[0-9]{14}\\.[0-9a-f]{32}@mail\\.example\\.org>)\r\n");
    std::set<std::string> ids;
    for (MESSAGEID each : Ids(outbox)) {
        const std::string source = Source(outbox, each);
        std::smatch found, when;
        ASSERT_TRUE(std::regex_search(source, when, date)) << source;
        // Local time less its offset is now in UTC; no offset is "+0000" ("-0000" means unknown).
        const int offset = (when[5] == "-" ? -1 : 1) * (std::stoi(when[6]) * 60 + std::stoi(when[7]));
        EXPECT_FALSE(offset == 0 && when[5] == "-") << source;
        SYSTEMTIME utc{};
        GetSystemTime(&utc);
        const int apart =
            std::abs(std::stoi(when[3]) * 60 + std::stoi(when[4]) - offset - utc.wHour * 60 - utc.wMinute);
        EXPECT_LE(std::min(apart % 1440, 1440 - apart % 1440), 2) << source;
        EXPECT_TRUE(std::regex_search(source, found, message_id)) << source;
        ids.insert(found.size() > 2 ? found[2].str() : "");
    }
    EXPECT_EQ(3u, ids.size()) << "each copy has an id of its own";

    // The object keeps what the client built, with the account that Send set.
    EXPECT_HR(S_OK, made->SetFolderID(FolderId(FOLDER_DRAFT)));
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::Commit));
    const std::string draft = Source(FolderId(FOLDER_DRAFT), static_cast<MESSAGEID>(Ask(made.get(), &IMXMessage::GetID)));
    EXPECT_FALSE(std::regex_search(draft, std::regex("(^|\n)(Date|Message-ID):", std::regex::icase))) << draft;
    EXPECT_NE(std::string::npos, draft.find("X-Mail-Account-Name: Work Mail")) << draft;

    const char own[] = "Date: Sat, 01 Feb 2020 10:00:00 +0100\r\nMessage-Id: <own@example.net>\r\n"
                       "Subject: Old\r\n\r\nbody\r\n";
    EXPECT_EQ(1, Ask(Open(Inbox(), Put(Inbox(), own)).get(), &IMXMessage::Send));
    const std::string kept = Source(outbox, Ids(outbox).back());
    EXPECT_EQ(0u, kept.find("Date: Sat, 01 Feb 2020 10:00:00 +0100\r\nMessage-Id: <own@example.net>\r\n")) << kept;
    EXPECT_EQ(kept.find("Date:"), kept.rfind("Date:")) << kept;

    // The last identity's own account wins over the one of the user; without it, the user's.
    const std::wstring identity = L"Identities\\{6A5B9C21-0000-4000-8000-00000000AB01}";
    SetString(L"Identities", L"Last User ID", identity.substr(11).c_str());
    WriteAccount(identity + L"\\Software\\Microsoft\\Internet Account Manager", L"00000002", L"Identity Mail");
    made = CreateMessageObject();
    long done = 0;
    EXPECT_HR(S_OK, made->SetBodyText(-1, B(L"new mail").get(), B(L"text").get(), B(L"plain").get(), &done));
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::Send));
    EXPECT_EQ(L"Identity Mail", BodyProp(made.get(), L"att:athena-account-name"));
    RegDeleteTreeW(HKEY_CURRENT_USER, identity.c_str());
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::Send));
    EXPECT_EQ(L"Work Mail", BodyProp(made.get(), L"att:athena-account-name"));
    EXPECT_EQ(6u, Ids(outbox).size());
}

}  // namespace
}  // namespace pelkary::test
