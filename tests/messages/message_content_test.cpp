// Message content through the MIME object: body properties, the body tree, content types, text,
// files in and out (with hostile attachment names), and attachments.
#include "message_fixture.h"

namespace pelkary::test {
namespace {

const char kMixed[] =
    "From: Ann <ann@example.org>\r\n"
    "To: Bob <bob@example.org>\r\n"
    "Subject: Mixed\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
    "\r\n"
    "--outer\r\n"
    "Content-Type: multipart/alternative; boundary=\"alt\"\r\n"
    "\r\n"
    "--alt\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Transfer-Encoding: 8bit\r\n"
    "\r\n"
    "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\r\n"
    "--alt\r\n"
    "Content-Type: text/html; charset=iso-8859-1\r\n"
    "\r\n"
    "<p>Gr\xFC\xDF" "e</p>\r\n"
    "--alt--\r\n"
    "--outer\r\n"
    "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
    "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "AAECAwQFBgcICQ==\r\n"
    "--outer\r\n"
    "Content-Type: message/rfc822\r\n"
    "Content-Disposition: attachment; filename=\"fwd.eml\"\r\n"
    "\r\n"
    "Subject: Inner\r\n"
    "\r\n"
    "inner body\r\n"
    "--outer--\r\n";

const char kThreeHeaders[] = "Subject: three\r\nFrom: f@example.org\r\nX-Custom: c\r\n\r\nbody\r\n";
const std::string kTenBytes("\0\1\2\3\4\5\6\7\x08\x09", 10);

using MessageContent = MessageTest;

// The file names of the attachment snapshot, in order.
std::vector<std::wstring> AttachmentNames(IMXMessage* m) {
    std::vector<std::wstring> names;
    for (long h = Number(m, &IMXMessage::GetFirstAttachment); h != 0; h = Number(m, &IMXMessage::GetNextAttachment))
        names.push_back(Text(m, &IMXMessage::GetFilename, h));
    return names;
}

long FirstAttachment(IMXMessage* m) { return Number(m, &IMXMessage::GetFirstAttachment); }

TEST_F(MessageContent, RootPropertiesEnumerateWithTheirIdsThenEnd) {
    com_ptr<IMXMessage> m = StoreAndOpen(kThreeHeaders);
    ASSERT_TRUE(m);
    std::vector<std::pair<std::wstring, long>> seen;
    long id = 0;
    unique_bstr name;
    ASSERT_HR(S_OK, m->GetFirstBodyProp(-1, &id, name.put()));
    while (name && name.length() > 0) {
        seen.emplace_back(name.get(), id);
        ASSERT_HR(S_OK, m->GetNextBodyProp(&id, name.put()));
    }
    EXPECT_EQ(-1, id);
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ((std::pair<std::wstring, long>(L"Subject", MX_PID_HDR_SUBJECT)), seen[0]);
    EXPECT_EQ((std::pair<std::wstring, long>(L"From", MX_PID_HDR_FROM)), seen[1]);
    EXPECT_EQ(L"X-Custom", seen[2].first);
    EXPECT_GT(seen[2].second, 78);
    // The walk stays ended.
    for (int i = 0; i < 2; ++i) {
        id = 0;
        ASSERT_HR(S_OK, m->GetNextBodyProp(&id, name.put()));
        EXPECT_EQ(-1, id);
        EXPECT_EQ(0u, name.length());
    }
    // The dynamic id reads the same property back in the name's place.
    long exist = 0;
    unique_bstr value;
    EXPECT_HR(S_OK, m->GetBodyProp(-1, static_cast<tagNUVAKMIMEPROPID>(seen[2].second), &exist, value.put()));
    EXPECT_EQ(1, exist);
    EXPECT_STREQ(L"c", value.get());
}

TEST_F(MessageContent, PropertyWalkAlwaysCoversTheRootAndSurvivesClone) {
    com_ptr<IMXMessage> m = StoreAndOpen(kMixed);
    ASSERT_TRUE(m);
    long attachment = FirstAttachment(m.get());
    ASSERT_NE(0, attachment);
    long id = 0;
    unique_bstr name;
    ASSERT_HR(S_OK, m->GetFirstBodyProp(attachment, &id, name.put()));
    EXPECT_STREQ(L"From", name.get());
    com_ptr<IMXMessage> clone;
    ASSERT_HR(S_OK, m->Clone(FolderId(FOLDER_DRAFT), reinterpret_cast<::MXMessage**>(clone.put())));
    ASSERT_TRUE(clone);
    ASSERT_HR(S_OK, m->GetNextBodyProp(&id, name.put()));
    EXPECT_STREQ(L"To", name.get());
    EXPECT_EQ(MX_PID_HDR_TO, id);
}

TEST_F(MessageContent, PropertiesReadWriteAndDeleteByIdAndByName) {
    com_ptr<IMXMessage> m = StoreAndOpen(kThreeHeaders);
    com_ptr<IMXMessage> no_subject = StoreAndOpen("From: x@example.org\r\n\r\nbody");
    ASSERT_TRUE(m && no_subject);
    long exist = 7;
    unique_bstr value;
    EXPECT_HR(S_OK, m->GetBodyProp(-1, MX_PID_HDR_SUBJECT, &exist, value.put()));
    EXPECT_EQ(1, exist);
    EXPECT_STREQ(L"three", value.get());
    EXPECT_HR(S_OK, no_subject->GetBodyProp(-1, MX_PID_HDR_SUBJECT, &exist, value.put()));
    EXPECT_EQ(0, exist);
    EXPECT_EQ(0u, value.length());
    EXPECT_HR(S_OK, m->GetBodyProp(-1, static_cast<tagNUVAKMIMEPROPID>(-1), &exist, value.put()));
    EXPECT_EQ(0, exist);
    EXPECT_EQ(0u, value.length());

    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyPropByName(-1, B(L"X_NUVAK_DELETED").get(), B(L"True").get(), &ok));
    EXPECT_EQ(1, ok);
    EXPECT_HR(S_OK, m->GetBodyPropByName(-1, B(L"X_NUVAK_DELETED").get(), &exist, value.put()));
    EXPECT_EQ(1, exist);
    EXPECT_STREQ(L"True", value.get());
    EXPECT_HR(S_OK, m->DeleteBodyPropByName(-1, B(L"X_NUVAK_DELETED").get(), &ok));
    EXPECT_EQ(1, ok);
    EXPECT_HR(S_OK, m->GetBodyPropByName(-1, B(L"X_NUVAK_DELETED").get(), &exist, value.put()));
    EXPECT_EQ(0, exist);

    EXPECT_HR(S_OK, m->SetBodyProp(-1, MX_PID_HDR_SUBJECT, B(L"changed").get(), &ok));
    EXPECT_EQ(1, ok);
    EXPECT_HR(S_OK, m->GetBodyPropByName(-1, B(L"Subject").get(), &exist, value.put()));
    EXPECT_STREQ(L"changed", value.get());
    EXPECT_HR(S_OK, m->DeleteBodyProp(-1, MX_PID_HDR_SUBJECT, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_HR(S_OK, m->GetBodyProp(-1, MX_PID_HDR_SUBJECT, &exist, value.put()));
    EXPECT_EQ(0, exist);
    // Ids that name nothing are refused, never passed on as pointers.
    EXPECT_HR(S_OK, m->SetBodyProp(-1, static_cast<tagNUVAKMIMEPROPID>(-1), B(L"x").get(), &ok));
    EXPECT_EQ(0, ok);
    EXPECT_HR(S_OK, m->SetBodyProp(-1, static_cast<tagNUVAKMIMEPROPID>(0x7FFF0000), B(L"x").get(), &ok));
    EXPECT_EQ(0, ok);
    EXPECT_HR(S_OK, m->DeleteBodyProp(-1, static_cast<tagNUVAKMIMEPROPID>(-5), &ok));
    EXPECT_EQ(0, ok);
    // Uncommitted: the stored source is untouched.
    EXPECT_EQ(std::string(kThreeHeaders), RawSource(FOLDER_INBOX, static_cast<MESSAGEID>(Number(m.get(), &IMXMessage::GetID))));
}

TEST_F(MessageContent, TreeWalkContentTypesAndText) {
    com_ptr<IMXMessage> m = StoreAndOpen(kMixed);
    ASSERT_TRUE(m);
    long html = Number(m.get(), &IMXMessage::GetHTMLBody);
    long plain = Number(m.get(), &IMXMessage::GetPlainBody);
    ASSERT_NE(0, html);
    ASSERT_NE(0, plain);
    EXPECT_EQ(L"text", Text(m.get(), &IMXMessage::GetBodyPrimaryContentType, html));
    EXPECT_EQ(L"html", Text(m.get(), &IMXMessage::GetBodySecondaryContentType, html));
    EXPECT_EQ(L"multipart", Text(m.get(), &IMXMessage::GetBodyPrimaryContentType, -1));
    EXPECT_EQ(L"mixed", Text(m.get(), &IMXMessage::GetBodySecondaryContentType, -1));
    long yes = 0;
    EXPECT_HR(S_OK, m->IsBodyContentType(html, B(L"text").get(), B(L"html").get(), &yes));
    EXPECT_EQ(1, yes);
    EXPECT_HR(S_OK, m->IsBodyContentType(html, B(L"text").get(), B(L"plain").get(), &yes));
    EXPECT_EQ(0, yes);

    EXPECT_EQ(L"Gr\u00FC\u00DF" L"e aus K\u00F6ln", Text(m.get(), &IMXMessage::GetBodyText, plain));
    EXPECT_EQ(L"<p>Gr\u00FC\u00DF" L"e</p>", Text(m.get(), &IMXMessage::GetBodyText, html));

    // Parent and siblings: the alternative holds plain then html.
    long alternative = 0;
    EXPECT_HR(S_OK, m->GetBodyHandle(plain, MX_IBL_PARENT, &alternative));
    EXPECT_EQ(L"alternative", Text(m.get(), &IMXMessage::GetBodySecondaryContentType, alternative));
    long next = 0;
    EXPECT_HR(S_OK, m->GetBodyHandle(plain, MX_IBL_NEXT, &next));
    EXPECT_EQ(html, next);
    EXPECT_HR(S_OK, m->GetBodyHandle(html, MX_IBL_NEXT, &next));
    EXPECT_EQ(0, next);
    long first = 0;
    EXPECT_HR(S_OK, m->GetBodyHandle(-1, MX_IBL_FIRST, &first));
    EXPECT_EQ(alternative, first);
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetBodyDisplayName, 0x5A5A5A));
    EXPECT_NE(L"", Text(m.get(), &IMXMessage::GetBodyDisplayName, FirstAttachment(m.get())));
}

TEST_F(MessageContent, NonTextBodyReadsAsAnsiUpToItsFirstNul) {
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    TempDir dir;
    WriteFileBytes(dir.File(L"img.gif"), std::string("GIF89a\0rest", 11));
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyFromFile(-1, B(dir.File(L"img.gif").c_str()).get(), B(L"image").get(),
                                       B(L"gif").get(), &ok));
    ASSERT_EQ(1, ok);
    EXPECT_EQ(L"image", Text(m.get(), &IMXMessage::GetBodyPrimaryContentType, -1));
    EXPECT_EQ(L"GIF89a", Text(m.get(), &IMXMessage::GetBodyText, -1));
}

TEST_F(MessageContent, SetBodyTextKeepsTheTypeWhenEitherHalfIsEmpty) {
    com_ptr<IMXMessage> m = StoreAndOpen(kMixed);
    ASSERT_TRUE(m);
    long html = Number(m.get(), &IMXMessage::GetHTMLBody);
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyText(html, B(L"<b>neu \u00E9</b>").get(), B(L"").get(), B(L"").get(), &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(L"html", Text(m.get(), &IMXMessage::GetBodySecondaryContentType, html));
    EXPECT_EQ(L"<b>neu \u00E9</b>", Text(m.get(), &IMXMessage::GetBodyText, html));
    EXPECT_HR(S_OK, m->SetBodyText(html, B(L"zwei").get(), B(L"text").get(), nullptr, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(L"html", Text(m.get(), &IMXMessage::GetBodySecondaryContentType, html));
    EXPECT_HR(S_OK, m->SetBodyText(html, B(L"drei").get(), B(L"text").get(), B(L"plain").get(), &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(L"plain", Text(m.get(), &IMXMessage::GetBodySecondaryContentType, html));
    EXPECT_EQ(L"drei", Text(m.get(), &IMXMessage::GetBodyText, html));
    // A null text is an empty body.
    EXPECT_HR(S_OK, m->SetBodyText(html, nullptr, nullptr, nullptr, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetBodyText, html));
}

TEST_F(MessageContent, SaveBodyToFileUnderTheBodysOwnName) {
    com_ptr<IMXMessage> m = StoreAndOpen(kMixed);
    ASSERT_TRUE(m);
    long data = FirstAttachment(m.get());
    ASSERT_EQ(L"data.bin", Text(m.get(), &IMXMessage::GetFilename, data));
    TempDir dir;
    long ok = 0;
    EXPECT_HR(S_OK, m->SaveBodyToFile(data, B((dir.path() + L"\\").c_str()).get(), 1, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(kTenBytes, ReadFileBytes(dir.File(L"data.bin")));
    DeleteFileW(dir.File(L"data.bin").c_str());
    EXPECT_HR(S_OK, m->SaveBodyToFile(data, B(dir.path().c_str()).get(), 1, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(kTenBytes, ReadFileBytes(dir.File(L"data.bin")));
    // A whole path is used as given.
    EXPECT_HR(S_OK, m->SaveBodyToFile(data, B(dir.File(L"chosen.dat").c_str()).get(), 0, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(kTenBytes, ReadFileBytes(dir.File(L"chosen.dat")));
}

TEST_F(MessageContent, SaveBodyToFileWritesNothingWhenItCannot) {
    com_ptr<IMXMessage> m = StoreAndOpen(kMixed);
    ASSERT_TRUE(m);
    TempDir dir;
    long ok = 7;
    long plain = Number(m.get(), &IMXMessage::GetPlainBody);
    EXPECT_HR(S_OK, m->SaveBodyToFile(plain, B(dir.path().c_str()).get(), 1, &ok));
    EXPECT_EQ(0, ok) << "no file-name property";
    EXPECT_HR(S_OK, m->SaveBodyToFile(FirstAttachment(m.get()), B(dir.File(L"missing").c_str()).get(), 1, &ok));
    EXPECT_EQ(0, ok) << "missing directory";
    EXPECT_HR(S_OK, m->SaveBodyToFile(FirstAttachment(m.get()), B(L"").get(), 1, &ok));
    EXPECT_EQ(0, ok) << "no directory named";
    EXPECT_FALSE(FileExists(L"\\data.bin"));
    EXPECT_HR(S_OK, m->SaveBodyToFile(0x5A5A5A, B(dir.File(L"unknown.bin").c_str()).get(), 0, &ok));
    EXPECT_EQ(0, ok) << "unknown handle";
    EXPECT_EQ(0, CountEntries(dir.path()));
    // An unknown handle never empties a file that is there.
    WriteFileBytes(dir.File(L"keep.txt"), "keep");
    EXPECT_HR(S_OK, m->SaveBodyToFile(0x5A5A5A, B(dir.File(L"keep.txt").c_str()).get(), 0, &ok));
    EXPECT_EQ(0, ok);
    EXPECT_EQ("keep", ReadFileBytes(dir.File(L"keep.txt")));
}

TEST_F(MessageContent, HostileAttachmentNamesNeverLeaveTheDirectory) {
    struct Case {
        const wchar_t* name;
        const wchar_t* saved_as;  // null: refused
    } cases[] = {
        {L"..\\..\\x", L"x"},  {L"C:\\x", L"x"},      {L"a/b", L"b"},      {L"../../up.txt", L"up.txt"},
        {L"x.txt. . ", L"x.txt"}, {L"CON", nullptr},  {L"con.txt", nullptr}, {L"LPT1", nullptr},
        {L"x.txt:ads", nullptr}, {L"a\tb", nullptr},  {L"a\x01" L"b", nullptr}, {L"..", nullptr},
        {L".", nullptr},       {L"", nullptr},         {L"dir\\", nullptr}, {L"C:", nullptr},
        {L"\\\\server\\share\\s.txt", L"s.txt"},       {L"NUL.tar.gz", nullptr},
    };
    TempDir root;
    std::wstring inner = root.File(L"inner");
    ASSERT_TRUE(CreateDirectoryW(inner.c_str(), nullptr));
    com_ptr<IMXMessage> m = StoreAndOpen(kMixed);
    ASSERT_TRUE(m);
    long data = FirstAttachment(m.get());
    int tried = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        ++tried;
        long ok = 0;
        ASSERT_HR(S_OK, m->SetBodyProp(data, MX_PID_PAR_FILENAME, B(c.name).get(), &ok));
        long saved = 7;
        EXPECT_HR(S_OK, m->SaveBodyToFile(data, B(inner.c_str()).get(), 1, &saved));
        if (c.saved_as) {
            EXPECT_EQ(1, saved);
            EXPECT_EQ(kTenBytes, ReadFileBytes(inner + L"\\" + c.saved_as));
            DeleteFileW((inner + L"\\" + c.saved_as).c_str());
        } else {
            EXPECT_EQ(0, saved);
        }
        EXPECT_EQ(0, CountEntries(inner));
        EXPECT_EQ(1, CountEntries(root.path())) << "something was written beside the directory";
    }
    EXPECT_FALSE(FileExists(L"C:\\x"));
    EXPECT_EQ(18, tried);
}

TEST_F(MessageContent, SetBodyFromFileNamesTheBodyAfterTheLastComponent) {
    TempDir dir;
    std::wstring file = dir.File(L"payload.bin");
    WriteFileBytes(file, kTenBytes);
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyFromFile(-1, B(file.c_str()).get(), B(L"application").get(),
                                       B(L"octet-stream").get(), &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(L"payload.bin", Text(m.get(), &IMXMessage::GetFilename, -1));
    EXPECT_EQ(L"octet-stream", Text(m.get(), &IMXMessage::GetBodySecondaryContentType, -1));
    EXPECT_HR(S_OK, m->SaveBodyToFile(-1, B(dir.File(L"copy.bin").c_str()).get(), 0, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(kTenBytes, ReadFileBytes(dir.File(L"copy.bin")));
    // A file that is not there changes nothing.
    EXPECT_HR(S_OK, m->SetBodyFromFile(-1, B(dir.File(L"absent.bin").c_str()).get(), B(L"").get(), B(L"").get(), &ok));
    EXPECT_EQ(0, ok);
    EXPECT_EQ(L"payload.bin", Text(m.get(), &IMXMessage::GetFilename, -1));
    EXPECT_HR(S_OK, m->SetBodyFromFile(-1, nullptr, nullptr, nullptr, &ok));
    EXPECT_EQ(0, ok);
}

TEST_F(MessageContent, AttachmentSnapshotListsAttachmentsOnlyAndEndsForGood) {
    com_ptr<IMXMessage> plain = StoreAndOpen("Subject: p\r\n\r\nno attachments\r\n");
    ASSERT_TRUE(plain);
    EXPECT_EQ(0, Number(plain.get(), &IMXMessage::GetNextAttachment)) << "before any snapshot";
    EXPECT_EQ(0, Number(plain.get(), &IMXMessage::GetFirstAttachment));
    EXPECT_EQ(0, Number(plain.get(), &IMXMessage::GetNextAttachment));

    com_ptr<IMXMessage> m = StoreAndOpen(kMixed);
    ASSERT_TRUE(m);
    EXPECT_EQ((std::vector<std::wstring>{L"data.bin", L"fwd.eml"}), AttachmentNames(m.get()));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetNextAttachment));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetNextAttachment));
    long first = FirstAttachment(m.get());
    long yes = 0;
    EXPECT_HR(S_OK, m->IsBodyAttachment(first, &yes));
    EXPECT_EQ(1, yes);
    EXPECT_HR(S_OK, m->IsBodyAttachment(Number(m.get(), &IMXMessage::GetPlainBody), &yes));
    EXPECT_EQ(0, yes);
    // Deleting a body shows in the next snapshot only.
    long deleted = 0;
    EXPECT_HR(S_OK, m->DeleteBody(first, MX_DELETE_NOFLAGS, &deleted));
    EXPECT_EQ(1, deleted);
    EXPECT_EQ((std::vector<std::wstring>{L"fwd.eml"}), AttachmentNames(m.get()));
    EXPECT_HR(S_OK, m->DeleteBody(first, MX_DELETE_NOFLAGS, &deleted));
    EXPECT_EQ(0, deleted) << "a handle already deleted";
}

TEST_F(MessageContent, AttachFileThenCommitStoresTheAttachment) {
    TempDir dir;
    std::wstring file = dir.File(L"note.txt");
    WriteFileBytes(file, "attached text\r\n");
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    long ok = 0;
    EXPECT_HR(S_OK, m->SetBodyPropByName(-1, B(L"Subject").get(), B(L"With attachment").get(), &ok));
    EXPECT_HR(S_OK, m->SetBodyText(-1, B(L"See attached.").get(), B(L"text").get(), B(L"plain").get(), &ok));
    EXPECT_EQ(1, ok);
    long attached = 0;
    EXPECT_HR(S_OK, m->AttachFile(B(file.c_str()).get(), &attached));
    EXPECT_NE(0, attached);
    EXPECT_HR(S_OK, m->AttachFile(B(dir.File(L"absent.txt").c_str()).get(), &attached));
    EXPECT_EQ(0, attached);
    EXPECT_HR(S_OK, m->SetFolderID(FolderId(FOLDER_DRAFT)));
    EXPECT_EQ(1, Number(m.get(), &IMXMessage::Commit));
    long id = Number(m.get(), &IMXMessage::GetID);
    ASSERT_NE(-1, id);
    EXPECT_EQ(L"With attachment", Text(m.get(), &IMXMessage::GetSubject));
    EXPECT_EQ((std::vector<std::wstring>{L"note.txt"}), AttachmentNames(m.get()));
    EXPECT_EQ(L"See attached.", Text(m.get(), &IMXMessage::GetBodyText, Number(m.get(), &IMXMessage::GetPlainBody)));
    std::string stored = RawSource(FOLDER_DRAFT, static_cast<MESSAGEID>(id));
    EXPECT_NE(std::string::npos, stored.find("note.txt")) << stored;
}

TEST_F(MessageContent, UnknownHandlesAndHandlesOfAnotherMessageGiveEmptyValues) {
    com_ptr<IMXMessage> m = StoreAndOpen(kMixed);
    com_ptr<IMXMessage> other = StoreAndOpen(kThreeHeaders);
    ASSERT_TRUE(m && other);
    for (long h : {0x5A5A5AL, FirstAttachment(m.get())}) {
        SCOPED_TRACE(h);
        EXPECT_EQ(L"", Text(other.get(), &IMXMessage::GetBodyText, h));
        EXPECT_EQ(L"", Text(other.get(), &IMXMessage::GetBodyPrimaryContentType, h));
        EXPECT_EQ(L"", Text(other.get(), &IMXMessage::GetFilename, h));
        long r = 7;
        EXPECT_HR(S_OK, other->IsBodyAttachment(h, &r));
        EXPECT_EQ(0, r);
        EXPECT_HR(S_OK, other->SetBodyText(h, B(L"x").get(), B(L"").get(), B(L"").get(), &r));
        EXPECT_EQ(0, r);
        EXPECT_HR(S_OK, other->InsertBody(h, MX_IBL_FIRST, &r));
        EXPECT_EQ(0, r);
    }
    EXPECT_EQ(std::string(kThreeHeaders),
              RawSource(FOLDER_INBOX, static_cast<MESSAGEID>(Number(other.get(), &IMXMessage::GetID))));
}

}  // namespace
}  // namespace pelkary::test
