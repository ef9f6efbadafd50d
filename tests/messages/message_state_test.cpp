// The message object itself: unsaved and stored answers, the record's fields, state flags and
// priorities, read marking through a folder, and deletion with and without the deletion mark.
#include "message_fixture.h"

namespace pelkary::test {
namespace {

const char kPlain[] =
    "From: Ann Example <ann@example.org>\r\n"
    "To: Bob Example <bob@example.org>\r\n"
    "Subject: Re: Quarterly figures\r\n"
    "\r\n"
    "The figures are in.\r\n";

using MessageState = MessageTest;

TEST_F(MessageState, UnsavedMessageAnswersEmptyValues) {
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    EXPECT_EQ(-1, Number(m.get(), &IMXMessage::GetID));
    EXPECT_EQ(-1, Number(m.get(), &IMXMessage::GetFolderID));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetState));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSubject));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetNormalSubject));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetDisplayTo));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetDisplayFrom));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::HasHighPriority));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::HasNormalPriority));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::HasLowPriority));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::MarkAsRead));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::MarkAsUnread));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::Delete, 1));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::Delete, 0));
    // Setting state and folder changes only what a later commit uses.
    EXPECT_HR(S_OK, m->SetState(MX_MSG_UNREAD));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetState));
    EXPECT_HR(S_OK, m->SetFolderID(1234));
    EXPECT_EQ(1234, Number(m.get(), &IMXMessage::GetFolderID));
    EXPECT_EQ(-1, Number(m.get(), &IMXMessage::GetID));
}

TEST_F(MessageState, NullOutPointersGiveEPointerWithoutErrorObject) {
    com_ptr<IMXMessage> m = StoreAndOpen(kPlain);
    ASSERT_TRUE(m);
    SetMarkerErrorInfo(L"marker");
    EXPECT_HR(E_POINTER, m->GetID(nullptr));
    EXPECT_HR(E_POINTER, m->GetState(nullptr));
    EXPECT_HR(E_POINTER, m->GetSubject(nullptr));
    EXPECT_HR(E_POINTER, m->GetSource(10, nullptr));
    EXPECT_HR(E_POINTER, m->GetNextAttachment(nullptr));
    EXPECT_HR(E_POINTER, m->GetFirstBodyProp(-1, nullptr, nullptr));
    long id = 5;
    EXPECT_HR(E_POINTER, m->GetFirstBodyProp(-1, &id, nullptr));
    EXPECT_HR(E_POINTER, m->Clone(0, nullptr));
    ErrorRecord error = ErrorInfoOf();
    EXPECT_TRUE(error.present);
    EXPECT_EQ(L"marker", error.source);
}

TEST_F(MessageState, StoredMessageAnswersFromItsRecord) {
    MESSAGEID id = Store(FOLDER_INBOX, kPlain, MSG_UNREAD | MSG_RECEIVED);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    EXPECT_EQ(static_cast<long>(id), Number(m.get(), &IMXMessage::GetID));
    EXPECT_EQ(FolderId(FOLDER_INBOX), Number(m.get(), &IMXMessage::GetFolderID));
    EXPECT_EQ(L"Re: Quarterly figures", Text(m.get(), &IMXMessage::GetSubject));
    EXPECT_EQ(L"Quarterly figures", Text(m.get(), &IMXMessage::GetNormalSubject));
    EXPECT_EQ(L"Ann Example", Text(m.get(), &IMXMessage::GetDisplayFrom));
    EXPECT_EQ(L"Bob Example", Text(m.get(), &IMXMessage::GetDisplayTo));
    EXPECT_EQ(static_cast<long>(sizeof kPlain - 1), Number(m.get(), &IMXMessage::GetSourceLength));
    EXPECT_EQ(MSG_UNREAD | MSG_RECEIVED, Number(m.get(), &IMXMessage::GetState));
    // A stored message keeps reporting its record, whatever SetState says.
    EXPECT_HR(S_OK, m->SetState(0x80));
    EXPECT_EQ(MSG_UNREAD | MSG_RECEIVED, Number(m.get(), &IMXMessage::GetState));
    // SetFolderID moves nothing.
    EXPECT_HR(S_OK, m->SetFolderID(FolderId(FOLDER_DRAFT)));
    EXPECT_EQ(std::vector<MESSAGEID>{id}, MessageIds(FOLDER_INBOX));
}

TEST_F(MessageState, EachPriorityAnswersOnlyItsOwnTest) {
    struct Case {
        const char* header;
        long high, normal, low;
    } cases[] = {
        {"X-Priority: 1\r\n", 1, 0, 0},
        {"", 0, 1, 0},
        {"X-Priority: 3\r\n", 0, 1, 0},
        {"X-Priority: 5\r\n", 0, 0, 1},
        {"Importance: high\r\n", 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        com_ptr<IMXMessage> m = StoreAndOpen(std::string("Subject: p\r\n") + c.header + "\r\nbody\r\n");
        ASSERT_TRUE(m);
        EXPECT_EQ(c.high, Number(m.get(), &IMXMessage::HasHighPriority));
        EXPECT_EQ(c.normal, Number(m.get(), &IMXMessage::HasNormalPriority));
        EXPECT_EQ(c.low, Number(m.get(), &IMXMessage::HasLowPriority));
    }
}

TEST_F(MessageState, MarkAsReadChangesTheStoreButNotTheRecordOfThisObject) {
    MESSAGEID id = Store(FOLDER_INBOX, kPlain, MSG_UNREAD);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::MarkAsRead));
    EXPECT_EQ(0u, StoredState(FOLDER_INBOX, id) & MSG_UNREAD);
    EXPECT_EQ(MSG_UNREAD, Number(m.get(), &IMXMessage::GetState));
    EXPECT_EQ(0, Number(Open(FOLDER_INBOX, id).get(), &IMXMessage::GetState) & MSG_UNREAD);

    EXPECT_EQ(1, Number(m.get(), &IMXMessage::MarkAsUnread));
    EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD), StoredState(FOLDER_INBOX, id) & MSG_UNREAD);
}

TEST_F(MessageState, MarkAsReadUsesTheFolderSetLast) {
    // Marking goes through the folder named by the folder id: a wrong folder finds no message.
    MESSAGEID id = Store(FOLDER_INBOX, kPlain, MSG_UNREAD);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    EXPECT_HR(S_OK, m->SetFolderID(FolderId(FOLDER_SENT)));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::MarkAsRead));
    EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD), StoredState(FOLDER_INBOX, id) & MSG_UNREAD);
}

TEST_F(MessageState, DeleteWithoutMarkMovesTheSourceUnchanged) {
    MESSAGEID id = Store(FOLDER_INBOX, kPlain);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Delete, 0));
    EXPECT_TRUE(MessageIds(FOLDER_INBOX).empty());
    std::vector<MESSAGEID> deleted = MessageIds(FOLDER_DELETED);
    ASSERT_EQ(1u, deleted.size());
    EXPECT_EQ(std::string(kPlain), RawSource(FOLDER_DELETED, deleted[0]));
    // The object keeps its record; its id names nothing any more.
    EXPECT_EQ(static_cast<long>(id), Number(m.get(), &IMXMessage::GetID));
    EXPECT_EQ(L"Re: Quarterly figures", Text(m.get(), &IMXMessage::GetSubject));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::Delete, 0));
}

TEST_F(MessageState, PermanentDeleteCommitsTheMarkBeforeDeleting) {
    MESSAGEID id = Store(FOLDER_INBOX, kPlain);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Delete, 1));
    EXPECT_TRUE(MessageIds(FOLDER_INBOX).empty());
    std::vector<MESSAGEID> deleted = MessageIds(FOLDER_DELETED);
    ASSERT_EQ(1u, deleted.size());
    std::string moved = RawSource(FOLDER_DELETED, deleted[0]);
    EXPECT_NE(std::string::npos, moved.find("X_NUVAK_DELETED: True")) << moved;
    EXPECT_NE(std::string::npos, moved.find("The figures are in.")) << moved;
}

TEST_F(MessageState, StaleMessageKeepsItsRecordAndReadsNothing) {
    MESSAGEID id = Store(FOLDER_INBOX, kPlain, MSG_UNREAD);
    com_ptr<IMXMessage> m = Open(FOLDER_INBOX, id);
    ASSERT_TRUE(m);
    // Another client deletes it for good.
    com_ptr<IStoreFolder> inbox = OpenStoreFolder(FOLDER_INBOX);
    MESSAGEIDLIST list{sizeof(MESSAGEIDLIST), 1, &id};
    ASSERT_HR(S_OK, inbox->DeleteMessages(&list, 0, nullptr));

    EXPECT_EQ(static_cast<long>(id), Number(m.get(), &IMXMessage::GetID));
    EXPECT_EQ(L"Re: Quarterly figures", Text(m.get(), &IMXMessage::GetSubject));
    EXPECT_EQ(MSG_UNREAD, Number(m.get(), &IMXMessage::GetState));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetAllSource));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, 10));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetHeader));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetPlainBody));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::MarkAsRead));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::Delete, 0));
    EXPECT_EQ(1u, MessageIds(FOLDER_DELETED).size());
}

}  // namespace
}  // namespace pelkary::test
