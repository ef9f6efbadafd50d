// The message object itself: unsaved and stored answers, the record's fields, priorities, read
// marking through a folder, deletion with and without the deletion mark; reading the raw source
// through the one read position: pieces, resets, the header split, the body limits, NUL bytes,
// hostile counts, the ANSI conversion, and SaveAsFile appending from the read position; and
// messages and folders that are gone by the time an object is bound or used.
#include <climits>
#include <filesystem>
#include <fstream>

#include "support/object_factory.h"
#include "support/store_test.h"

namespace pelkary::test {
namespace {

const char kPlain[] =
    "From: Ann Example <ann@example.org>\r\nTo: Bob Example <bob@example.org>\r\n"
    "Subject: Re: Quarterly figures\r\n\r\nThe figures are in.\r\n";
// 10 header characters, CR LF CR LF, 5 body characters: 19 bytes.
const char kNineteen[] = "0123456789\r\n\r\nabcde";

class MessageTest : public StoreTest {
protected:
    // Deletes a message through the test's own connection (it moves to the deleted items).
    void Remove(long folder_id, MESSAGEID id) {
        com_ptr<IStoreFolder> folder;
        ASSERT_HR(S_OK, direct_->OpenFolder(static_cast<STOREFOLDERID>(folder_id), 0, folder.put()));
        MESSAGEIDLIST list{sizeof(MESSAGEIDLIST), 1, &id};
        ASSERT_HR(S_OK, folder->DeleteMessages(&list, 0, nullptr));
    }
};

std::wstring Read(IMXMessage* m, long count, Here at = Here::Caller()) {
    return Ask(m, &IMXMessage::GetSource, count, at);
}

TEST_F(MessageTest, AnUnsavedMessageAnswersEmptyValuesAndKeepsWhatACommitWillUse) {
    com_ptr<IMXMessage> m = CreateMessageObject();
    EXPECT_EQ(-1, Ask(m.get(), &IMXMessage::GetID));
    EXPECT_EQ(-1, Ask(m.get(), &IMXMessage::GetFolderID));
    for (auto text : {&IMXMessage::GetSubject, &IMXMessage::GetNormalSubject, &IMXMessage::GetDisplayTo,
                      &IMXMessage::GetDisplayFrom, &IMXMessage::GetAllSource, &IMXMessage::GetHeader,
                      &IMXMessage::GetAllBody})
        EXPECT_EQ(L"", Ask(m.get(), text));
    for (auto number : {&IMXMessage::GetState, &IMXMessage::HasHighPriority, &IMXMessage::HasNormalPriority,
                        &IMXMessage::HasLowPriority, &IMXMessage::MarkAsRead, &IMXMessage::MarkAsUnread,
                        &IMXMessage::GetSourceLength, &IMXMessage::GetHeaderLength, &IMXMessage::GetBodyLength})
        EXPECT_EQ(0, Ask(m.get(), number));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::Delete, 1));
    EXPECT_EQ(L"", Read(m.get(), 10));
    EXPECT_EQ(L"", Ask(m.get(), &IMXMessage::GetBody, 10));
    EXPECT_HR(S_OK, m->SetState(MX_MSG_UNREAD));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::GetState));
}

TEST_F(MessageTest, AStoredMessageAnswersFromItsRecord) {
    const MESSAGEID id = Put(Inbox(), kPlain, MSG_UNREAD | MSG_RECEIVED);
    com_ptr<IMXMessage> m = Open(Inbox(), id);
    EXPECT_EQ((std::vector<long>{static_cast<long>(id), Inbox(), sizeof kPlain - 1, MSG_UNREAD | MSG_RECEIVED}),
              (std::vector<long>{Ask(m.get(), &IMXMessage::GetID), Ask(m.get(), &IMXMessage::GetFolderID),
                                 Ask(m.get(), &IMXMessage::GetSourceLength), Ask(m.get(), &IMXMessage::GetState)}));
    EXPECT_EQ((std::vector<std::wstring>{L"Re: Quarterly figures", L"Quarterly figures", L"Ann Example", L"Bob Example"}),
              (std::vector<std::wstring>{Ask(m.get(), &IMXMessage::GetSubject), Ask(m.get(), &IMXMessage::GetNormalSubject),
                                         Ask(m.get(), &IMXMessage::GetDisplayFrom), Ask(m.get(), &IMXMessage::GetDisplayTo)}));
    EXPECT_HR(S_OK, m->SetState(0x80));
    EXPECT_EQ(MSG_UNREAD | MSG_RECEIVED, Ask(m.get(), &IMXMessage::GetState)) << "the record, not the value set";

    for (auto [header, expected] :
         {std::pair{"X-Priority: 1", L"100"}, {"X-Other: 1", L"010"}, {"X-Priority: 5", L"001"}}) {
        com_ptr<IMXMessage> p = PutAndOpen(std::string(header) + "\r\n\r\nbody\r\n");
        EXPECT_EQ(expected, std::to_wstring(Ask(p.get(), &IMXMessage::HasHighPriority)) +
                                std::to_wstring(Ask(p.get(), &IMXMessage::HasNormalPriority)) +
                                std::to_wstring(Ask(p.get(), &IMXMessage::HasLowPriority))) << header;
    }
}

TEST_F(MessageTest, MarkingGoesThroughTheFolderSetLastAndLeavesTheRecordAlone) {
    const MESSAGEID id = Put(Inbox(), kPlain, MSG_UNREAD);
    com_ptr<IMXMessage> m = Open(Inbox(), id);
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::MarkAsRead));
    EXPECT_EQ(0u, State(Inbox(), id) & MSG_UNREAD);
    EXPECT_EQ(MSG_UNREAD, Ask(m.get(), &IMXMessage::GetState));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::MarkAsUnread));
    EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD), State(Inbox(), id) & MSG_UNREAD);
    EXPECT_HR(S_OK, m->SetFolderID(FolderId(FOLDER_SENT)));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::MarkAsRead)) << "the Sent folder has no such message";
    EXPECT_EQ(static_cast<DWORD>(MSG_UNREAD), State(Inbox(), id) & MSG_UNREAD);
}

TEST_F(MessageTest, DeleteMovesTheSourceAndAPermanentOneCommitsTheMarkFirst) {
    const long deleted_items = FolderId(FOLDER_DELETED);
    com_ptr<IMXMessage> kept = PutAndOpen(kPlain), marked = PutAndOpen(kPlain);
    EXPECT_EQ(1, Ask(kept.get(), &IMXMessage::Delete, 0));
    ASSERT_EQ(1u, Ids(deleted_items).size());
    EXPECT_EQ(kPlain, Source(deleted_items, Ids(deleted_items)[0])) << "moved without a change";
    EXPECT_EQ(L"Re: Quarterly figures", Ask(kept.get(), &IMXMessage::GetSubject)) << "the record stays";
    EXPECT_EQ(0, Ask(kept.get(), &IMXMessage::Delete, 0)) << "its id names nothing any more";
    EXPECT_EQ(L"", Read(kept.get(), 10) + Ask(kept.get(), &IMXMessage::GetHeader));
    EXPECT_EQ(0, Ask(kept.get(), &IMXMessage::GetPlainBody));

    EXPECT_EQ(1, Ask(marked.get(), &IMXMessage::Delete, 1));
    EXPECT_TRUE(Ids(Inbox()).empty());
    const std::string moved = Source(deleted_items, Ids(deleted_items).back());
    EXPECT_NE(std::string::npos, moved.find("X_NUVAK_DELETED: True")) << moved;
    EXPECT_NE(std::string::npos, moved.find("The figures are in.")) << moved;
}

TEST_F(MessageTest, PiecesFollowOneReadPositionAndAnEmptyReadStartsOver) {
    com_ptr<IMXMessage> m = PutAndOpen(kNineteen);
    for (const wchar_t* piece : {L"01234", L"56789", L"\r\n\r\na", L"bcde", L"", L"01234"})
        EXPECT_EQ(piece, Read(m.get(), 5));
    EXPECT_HR(S_OK, m->GetContentReset());
    EXPECT_EQ(L"012", Read(m.get(), 3));
    EXPECT_EQ(L"", Read(m.get(), 0)) << "reads nothing, and resets";
    EXPECT_EQ(L"012", Read(m.get(), 3));
    EXPECT_EQ(L"3456789\r\n\r\nabcde", Read(m.get(), 100000)) << "at most the rest of the source";
    EXPECT_EQ(L"", Read(m.get(), 100000));
    EXPECT_EQ(L"012", Read(m.get(), 3));
    EXPECT_EQ(L"0123456789\r\n\r\nabcde", Ask(m.get(), &IMXMessage::GetAllSource)) << "from the start, always";
    EXPECT_EQ(L"", Read(m.get(), 5)) << "and up to the end";
    // Counts that name no buffer read nothing and reset: negatives, and a size that is refused
    // rather than allocated.
    for (long count : {-2L, -1000L, LONG_MIN, LONG_MAX}) {
        EXPECT_EQ(L"012", Read(m.get(), 3));
        EXPECT_EQ(L"", Read(m.get(), count)) << count;
        EXPECT_EQ(L"012", Read(m.get(), 3)) << count << ": the position was not reset";
        EXPECT_EQ(L"", Ask(m.get(), &IMXMessage::GetBody, count)) << count;
    }
}

TEST_F(MessageTest, HeaderAndBodySplitAtTheFirstEmptyLine) {
    // Lengths of the source, header and body; header, whole body, and bodies of 100, 2, 2 and 3.
    auto split = [&](IMXMessage* m) {
        return std::make_pair(std::vector<long>{Ask(m, &IMXMessage::GetSourceLength), Ask(m, &IMXMessage::GetHeaderLength),
                                                Ask(m, &IMXMessage::GetBodyLength)},
                              std::vector<std::wstring>{Ask(m, &IMXMessage::GetHeader), Ask(m, &IMXMessage::GetAllBody),
                                                        Ask(m, &IMXMessage::GetBody, 100), Ask(m, &IMXMessage::GetBody, 2),
                                                        Ask(m, &IMXMessage::GetBody, 2), Ask(m, &IMXMessage::GetBody, 3)});
    };
    EXPECT_EQ(split(PutAndOpen(kNineteen).get()),
              std::make_pair(std::vector<long>{19, 10, 5},
                             std::vector<std::wstring>{L"0123456789", L"abcde", L"abcde", L"ab", L"ab", L"abc"}));
    EXPECT_EQ(split(PutAndOpen("Subject: no body\r\nX-Other: yes\r\n").get()),
              std::make_pair(std::vector<long>{32, 32, 0},
                             std::vector<std::wstring>{L"Subject: no body\r\nX-Other: yes\r\n", L"", L"", L"", L"", L""}));

    // A header longer than one 100-byte piece: the search resets, reads two pieces, and leaves the
    // position there; the header is then kept and read no more.
    const std::string header = "Subject: " + std::string(120, 'h');
    std::string body;
    for (int i = 0; i < 5000; ++i) body += static_cast<char>('a' + i % 26);
    com_ptr<IMXMessage> big = PutAndOpen(header + "\r\n\r\n" + body);
    EXPECT_EQ(L"Subj", Read(big.get(), 4));
    EXPECT_EQ(std::wstring(header.begin(), header.end()), Ask(big.get(), &IMXMessage::GetHeader));
    EXPECT_EQ(std::wstring(body.begin() + 200 - header.size() - 4, body.begin() + 205 - header.size() - 4),
              Read(big.get(), 5));
    EXPECT_EQ(static_cast<long>(header.size()), Ask(big.get(), &IMXMessage::GetHeaderLength));
    EXPECT_EQ(5000, Ask(big.get(), &IMXMessage::GetBodyLength));
    EXPECT_EQ(std::wstring(body.begin(), body.end()), Ask(big.get(), &IMXMessage::GetAllBody));
    EXPECT_EQ(std::wstring(body.begin(), body.begin() + 2500), Ask(big.get(), &IMXMessage::GetBody, 2500));
}

TEST_F(MessageTest, ANulByteCutsItsPiece) {
    com_ptr<IMXMessage> m = PutAndOpen(std::string("AB\0CD\0EFGH\r\n\r\nbody", 18));
    EXPECT_EQ(L"AB", Read(m.get(), 5));
    EXPECT_EQ(L"", Read(m.get(), 5)) << "a piece that starts with NUL reads empty, the position moves on";
    EXPECT_EQ(L"\r\n\r\nb", Read(m.get(), 5));
    EXPECT_EQ(L"AB", Ask(m.get(), &IMXMessage::GetAllSource));
    EXPECT_EQ(L"AB", Ask(m.get(), &IMXMessage::GetHeader)) << "the search ends at the empty piece";
    EXPECT_EQ(L"", Ask(m.get(), &IMXMessage::GetAllBody));

    com_ptr<IMXMessage> late_nul = PutAndOpen(std::string(45, 'x') + '\0' + std::string(100, 'y'));
    EXPECT_EQ(std::wstring(45, L'x'), Read(late_nul.get(), 120));
    EXPECT_EQ(std::wstring(26, L'y'), Read(late_nul.get(), 120));
    com_ptr<IMXMessage> body = PutAndOpen(std::string("H: v\r\n\r\nabcd\0efgh", 17));
    EXPECT_EQ(L"abcd", Ask(body.get(), &IMXMessage::GetBody, 4)) << "pieces of 4: the fourth is empty";
    // A piece cut short by a NUL leaves the body below its limit, and reading goes on past it.
    com_ptr<IMXMessage> short_piece = PutAndOpen(std::string("H: v\r\n\r\nab\0cdefgh", 17));
    EXPECT_EQ(L"abdefgh", Ask(short_piece.get(), &IMXMessage::GetBody, 4)) << "the limit is not met exactly";
}

TEST_F(MessageTest, EveryByteConvertsAsTheAnsiCodePageSays) {
    // Every byte 1..255 at every alignment within 16-byte blocks, between ASCII runs long enough
    // to be widened in blocks.
    std::string source = "X: y\r\n\r\n";
    for (int shift = 0; shift < 16; ++shift) {
        source += std::string(static_cast<size_t>(32 + shift), 'a');
        for (int b = 1; b < 256; ++b) source.push_back(static_cast<char>(b));
    }
    std::wstring expected(source.size(), L'\0');
    const int size = static_cast<int>(source.size());
    ASSERT_EQ(size, MultiByteToWideChar(CP_ACP, 0, source.data(), size, expected.data(), size));
    com_ptr<IMXMessage> m = PutAndOpen(source);
    EXPECT_EQ(expected, Ask(m.get(), &IMXMessage::GetAllSource));
    EXPECT_HR(S_OK, m->GetContentReset());
    EXPECT_EQ(expected.substr(0, 37), Read(m.get(), 37));
    EXPECT_EQ(expected.substr(37, 300), Read(m.get(), 300));
    EXPECT_EQ(expected.substr(8), Ask(m.get(), &IMXMessage::GetAllBody));
}

TEST_F(MessageTest, SaveAsFileAppendsTheStoredBytesFromTheReadPositionAndNothingForAGoneMessage) {
    TempStore dir;  // a fresh directory of its own
    const std::wstring file = dir.path() + L"\\out.eml", raw = dir.path() + L"\\raw.eml";
    std::ofstream(std::filesystem::path(file), std::ios::binary) << "OLD|";
    com_ptr<IMXMessage> m = PutAndOpen(kNineteen);
    EXPECT_EQ(L"0123456789", Read(m.get(), 10));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SaveAsFile, B(file.c_str()).get()));
    EXPECT_EQ("OLD|\r\n\r\nabcde", FileBytes(file));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SaveAsFile, B(file.c_str()).get())) << "the read ended: all of it";
    EXPECT_EQ(std::string("OLD|\r\n\r\nabcde") + kNineteen, FileBytes(file));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::SaveAsFile, B((dir.path() + L"\\missing\\out.eml").c_str()).get()));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::SaveAsFile, nullptr));

    // NUL bytes (one at the start of the second 4096-byte piece) and bytes the code page maps
    // to no character of its own.
    std::string source = "Subject: raw\r\n\r\n" + std::string(4080, 'a');
    source += std::string("\0\x81\x8d\x8f\x90\x9d\xff tail\0", 13);
    const MESSAGEID id = Put(Inbox(), source);
    m = Open(Inbox(), id);
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SaveAsFile, B(raw.c_str()).get()));
    EXPECT_TRUE(source == FileBytes(raw)) << "the bytes differ";
    Remove(Inbox(), id);
    std::filesystem::remove(std::filesystem::path(raw));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::SaveAsFile, B(raw.c_str()).get()));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(raw))) << "no empty file is left";
}

TEST_F(MessageTest, AMessageWalkSkipsWhatLeftTheFolderAfterTheStoreListedIt) {
    const long inbox = Inbox();
    const MESSAGEID first = Put(inbox, "Subject: 1\r\n\r\n1"), second = Put(inbox, "Subject: 2\r\n\r\n2"),
                    third = Put(inbox, "Subject: 3\r\n\r\n3");
    com_ptr<IMXFolder> folder = Folder(inbox);
    com_ptr<IMXMessage> m = Ask(folder.get(), &IMXFolder::GetFirstMessage);
    EXPECT_EQ(static_cast<long>(first), Ask(m.get(), &IMXMessage::GetID));
    Remove(inbox, second);
    m = Ask(folder.get(), &IMXFolder::GetNextMessage);
    ASSERT_TRUE(m);
    EXPECT_EQ(static_cast<long>(third), Ask(m.get(), &IMXMessage::GetID)) << "not an unsaved stand-in";
    EXPECT_FALSE(Ask(folder.get(), &IMXFolder::GetNextMessage));
    EXPECT_EQ((std::vector<MESSAGEID>{first, third}), Ids(inbox));

    // A message that goes after its object was bound: no body length made of the record's size.
    com_ptr<IMXMessage> gone = Open(inbox, first);
    Remove(inbox, first);
    EXPECT_EQ(0, Ask(gone.get(), &IMXMessage::GetBodyLength));
}

TEST_F(MessageTest, FolderWalksSkipADeletedFolderAndItsObjectIsNull) {
    const long parent = NewFolder(L"Parent");
    NewFolder(L"A", parent);
    const long b = NewFolder(L"B", parent);
    NewFolder(L"C", parent);
    com_ptr<IMXFolder> folder = Folder(parent), b_object = Folder(b);
    EXPECT_EQ(0, Ask(b_object.get(), &IMXFolder::IsNull));
    EXPECT_EQ(L"A", Ask(Ask(folder.get(), &IMXFolder::GetFirstChild).get(), &IMXFolder::Name));

    ASSERT_HR(S_OK, direct_->DeleteFolder(static_cast<STOREFOLDERID>(b), 0));
    EXPECT_EQ(1, Ask(b_object.get(), &IMXFolder::IsNull));
    EXPECT_EQ(std::vector<std::wstring>{L"C"}, Walk(folder.get(), &IMXFolder::GetNextChild));
}

}  // namespace
}  // namespace pelkary::test
