// Message content through the MIME object, for what pelkary adds to the MIME library: body
// handles as 32-bit longs with -1 for the root, the property walk of the root body, properties by
// id in a name's place, content types split in halves, text in and out through the ANSI code
// page, files in and out (under safe names only), and the attachment snapshot.
#include <filesystem>

#include "support/object_factory.h"
#include "support/server_internals.h"
#include "support/store_test.h"

namespace pelkary::test {
namespace {

const char kMixed[] =
    "From: Ann <ann@example.org>\r\nTo: Bob <bob@example.org>\r\nSubject: Mixed\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n"
    "--outer\r\nContent-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
    "--alt\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
    "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\r\n"
    "--alt\r\nContent-Type: text/html; charset=iso-8859-1\r\n\r\n<p>Gr\xFC\xDF" "e</p>\r\n--alt--\r\n"
    "--outer\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
    "Content-Disposition: attachment; filename=\"data.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    "AAECAwQFBgcICQ==\r\n"
    "--outer\r\nContent-Type: message/rfc822\r\nContent-Disposition: attachment; filename=\"fwd.eml\"\r\n\r\n"
    "Subject: Inner\r\n\r\ninner body\r\n--outer--\r\n";
const char kThreeHeaders[] = "Subject: three\r\nFrom: f@example.org\r\nX-Custom: c\r\n\r\nbody\r\n";
const std::string kTenBytes("\0\1\2\3\4\5\6\7\x08\x09", 10);

using MessageContent = FilesTest;

std::vector<std::wstring> Attachments(IMXMessage* m) {
    std::vector<std::wstring> names;
    for (long h = Ask(m, &IMXMessage::GetFirstAttachment); h != 0; h = Ask(m, &IMXMessage::GetNextAttachment))
        names.push_back(Ask(m, &IMXMessage::GetFilename, h));
    return names;
}

TEST_F(MessageContent, TheRootsPropertiesAreWalkedWithTheirIdsWhateverHandleStartsTheWalk) {
    com_ptr<IMXMessage> m = PutAndOpen(kThreeHeaders);
    std::vector<std::pair<std::wstring, long>> seen;
    long id = 0;
    unique_bstr name;
    ASSERT_HR(S_OK, m->GetFirstBodyProp(0x5A5A, &id, name.put()));
    for (int i = 0; i < 10 && name.length() > 0; ++i) {
        seen.emplace_back(name.get(), id);
        ASSERT_HR(S_OK, m->GetNextBodyProp(&id, name.put()));
    }
    EXPECT_EQ(-1, id);
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ((std::vector<std::pair<std::wstring, long>>{{L"Subject", MX_PID_HDR_SUBJECT}, {L"From", MX_PID_HDR_FROM},
                                                          {L"X-Custom", seen[2].second}}), seen);
    EXPECT_EQ(L"c", BodyProp(m.get(), -1, seen[2].second)) << "an id the walk reported reads the property back";
    id = 0;
    ASSERT_HR(S_OK, m->GetNextBodyProp(&id, name.put()));
    EXPECT_TRUE(id == -1 && name.length() == 0) << "the walk stays ended";
}

TEST_F(MessageContent, PropertiesAreReadAndDeletedByIdAndByName) {
    com_ptr<IMXMessage> m = PutAndOpen(kThreeHeaders);
    EXPECT_EQ(L"three", BodyProp(m.get(), -1, MX_PID_HDR_SUBJECT));
    EXPECT_EQ(L"<absent>", BodyProp(m.get(), -1, -1));
    const long root = -1;
    // Setting by id and by name: CodePage.PropertiesHoldTextOutsideTheCodePage.
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::DeleteBodyPropByName, root, B(L"X-Custom").get()));
    EXPECT_EQ(L"<absent>", BodyProp(m.get(), L"X-Custom"));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::DeleteBodyProp, root, MX_PID_HDR_SUBJECT));
    EXPECT_EQ(L"<absent>", BodyProp(m.get(), -1, MX_PID_HDR_SUBJECT));
    // Ids that name nothing are refused, never passed on in a name's place.
    for (long id : {-1L, 0x7FFF0000L, -5L}) {
        const auto pid = static_cast<tagNUVAKMIMEPROPID>(id);
        EXPECT_EQ(0, Ask(m.get(), &IMXMessage::SetBodyProp, root, pid, B(L"x").get())) << id;
        EXPECT_EQ(0, Ask(m.get(), &IMXMessage::DeleteBodyProp, root, pid)) << id;
    }
    EXPECT_EQ(kThreeHeaders, Source(Inbox(), static_cast<MESSAGEID>(Ask(m.get(), &IMXMessage::GetID))))
        << "nothing reaches the store before a commit";
}

TEST_F(MessageContent, BodyHandlesContentTypesAndText) {
    com_ptr<IMXMessage> m = PutAndOpen(kMixed);
    const long html = Ask(m.get(), &IMXMessage::GetHTMLBody), plain = Ask(m.get(), &IMXMessage::GetPlainBody);
    EXPECT_EQ(L"text", Ask(m.get(), &IMXMessage::GetBodyPrimaryContentType, html));
    EXPECT_EQ(L"mixed", Ask(m.get(), &IMXMessage::GetBodySecondaryContentType, -1));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::IsBodyContentType, html, B(L"text").get(), B(L"html").get()));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::IsBodyContentType, html, B(L"text").get(), B(L"plain").get()));
    EXPECT_EQ(L"Gr\u00FC\u00DF" L"e aus K\u00F6ln", Ask(m.get(), &IMXMessage::GetBodyText, plain));

    const long alternative = Ask(m.get(), &IMXMessage::GetBodyHandle, plain, MX_IBL_PARENT);
    EXPECT_EQ(L"alternative", Ask(m.get(), &IMXMessage::GetBodySecondaryContentType, alternative));
    EXPECT_EQ(alternative, Ask(m.get(), &IMXMessage::GetBodyHandle, -1, MX_IBL_FIRST));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::GetBodyHandle, html, MX_IBL_NEXT));
    EXPECT_NE(L"", Ask(m.get(), &IMXMessage::GetBodyDisplayName, Ask(m.get(), &IMXMessage::GetFirstAttachment)));

    // A handle that the message does not know, or one of another message (even one of the same
    // shape), gives empty values.
    com_ptr<IMXMessage> other = PutAndOpen(kMixed);
    for (long h : {0x5A5A5AL, html}) {
        IMXMessage* o = other.get();
        EXPECT_EQ(L"", Ask(o, &IMXMessage::GetBodyText, h) + Ask(o, &IMXMessage::GetBodyDisplayName, h) +
                           Ask(o, &IMXMessage::GetBodyPrimaryContentType, h)) << h;
        long done = 7;
        EXPECT_HR(S_OK, o->SetBodyText(h, B(L"x").get(), B(L"").get(), B(L"").get(), &done));
        EXPECT_EQ(0, done | Ask(o, &IMXMessage::IsBodyAttachment, h) | Ask(o, &IMXMessage::InsertBody, h, MX_IBL_FIRST)) << h;
    }
}

TEST_F(MessageContent, SetBodyTextKeepsTheTypeWhenEitherHalfIsEmpty) {
    com_ptr<IMXMessage> m = PutAndOpen(kMixed);
    const long html = Ask(m.get(), &IMXMessage::GetHTMLBody);
    // Text, the type's halves, and the subtype and text read back; a null text is an empty body.
    const wchar_t* const kCases[][4] = {{L"<b>neu \u00E9</b>", L"", L"", L"html"}, {L"zwei", L"text", nullptr, L"html"},
                                        {L"drei", L"text", L"plain", L"plain"}, {nullptr, nullptr, nullptr, L"plain"}};
    for (const auto& c : kCases) {
        long done = 7;
        EXPECT_HR(S_OK, m->SetBodyText(html, B(c[0]).get(), B(c[1]).get(), B(c[2]).get(), &done));
        EXPECT_EQ(std::wstring(L"1 ") + c[3] + L" " + (c[0] ? c[0] : L""),
                  std::to_wstring(done) + L" " + Ask(m.get(), &IMXMessage::GetBodySecondaryContentType, html) + L" " +
                      Ask(m.get(), &IMXMessage::GetBodyText, html));
    }
}

TEST_F(MessageContent, FilesInAndOut) {
    Write(L"payload.bin", kTenBytes);
    Write(L"img.gif", std::string("GIF89a\0rest", 11));
    com_ptr<IMXMessage> m = CreateMessageObject();
    auto from_file = [&](const std::wstring& file, const wchar_t* pri, const wchar_t* sec) {
        long done = 7;
        EXPECT_HR(S_OK, m->SetBodyFromFile(-1, B(file.c_str()).get(), B(pri).get(), B(sec).get(), &done));
        return done;
    };
    EXPECT_EQ(1, from_file(File(L"img.gif"), L"image", L"gif"));
    EXPECT_EQ(L"GIF89a\uFFFDrest", Ask(m.get(), &IMXMessage::GetBodyText, -1)) << "not text: ANSI, a NUL shown";
    const std::string nul_text("before\0after", 12);
    com_ptr<IMXMessage> with_nul = PutAndOpen("Content-Type: text/plain\r\n\r\n" + nul_text);
    EXPECT_EQ(L"before\uFFFDafter", Ask(with_nul.get(), &IMXMessage::GetBodyText, -1)) << "the text after a NUL stays";
    EXPECT_EQ(1, Ask(with_nul.get(), &IMXMessage::SaveBodyToFile, -1, B(File(L"zero.txt").c_str()).get(), 0));
    EXPECT_EQ(nul_text, FileBytes(File(L"zero.txt"))) << "the saved bytes stay exact";
    EXPECT_EQ(1, from_file(dir_.wstring() + L"/payload.bin", L"application", L"octet-stream"));
    EXPECT_EQ(L"payload.bin", Ask(m.get(), &IMXMessage::GetFilename, -1)) << "named after the part past a slash";
    EXPECT_EQ(0, from_file(File(L"absent.bin"), L"", L""));
    EXPECT_EQ(L"payload.bin", Ask(m.get(), &IMXMessage::GetFilename, -1)) << "a refused file changes nothing";
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SaveBodyToFile, -1, B(File(L"copy.bin").c_str()).get(), 0));
    EXPECT_EQ(kTenBytes, FileBytes(File(L"copy.bin")));

    com_ptr<IMXMessage> mixed = PutAndOpen(kMixed);
    const long data = Ask(mixed.get(), &IMXMessage::GetFirstAttachment);
    for (const std::wstring& dir : {dir_.wstring(), dir_.wstring() + L"\\"}) {
        EXPECT_EQ(1, Ask(mixed.get(), &IMXMessage::SaveBodyToFile, data, B(dir.c_str()).get(), 1));
        EXPECT_EQ(kTenBytes, FileBytes(File(L"data.bin"))) << "under the body's own name";
        std::filesystem::remove(dir_ / "data.bin");
    }
    // A name from the mail that the safe-name rules refuse is not written.
    EXPECT_EQ(1, Ask(mixed.get(), &IMXMessage::SetBodyProp, data, MX_PID_PAR_FILENAME, B(L"CON").get()));
    EXPECT_EQ(0, Ask(mixed.get(), &IMXMessage::SaveBodyToFile, data, B(dir_.wstring().c_str()).get(), 1));
    const int files = Files();
    EXPECT_EQ(0, Ask(mixed.get(), &IMXMessage::SaveBodyToFile, Ask(mixed.get(), &IMXMessage::GetPlainBody),
                     B(dir_.wstring().c_str()).get(), 1)) << "no file name";
    EXPECT_EQ(0, Ask(mixed.get(), &IMXMessage::SaveBodyToFile, data, B(L"").get(), 1)) << "no directory";
    EXPECT_EQ(0, Ask(mixed.get(), &IMXMessage::SaveBodyToFile, data, B(File(L"missing").c_str()).get(), 1));
    EXPECT_EQ(0, Ask(mixed.get(), &IMXMessage::SaveBodyToFile, 0x5A5A5A, B(File(L"copy.bin").c_str()).get(), 0));
    EXPECT_EQ(kTenBytes, FileBytes(File(L"copy.bin"))) << "an unknown handle never empties a file";
    EXPECT_EQ(files, Files());
}

TEST_F(MessageContent, TheAttachmentSnapshotListsAttachmentsOnlyAndEndsForGood) {
    com_ptr<IMXMessage> plain = PutAndOpen("Subject: p\r\n\r\nno attachments\r\n");
    EXPECT_EQ(0, Ask(plain.get(), &IMXMessage::GetNextAttachment)) << "before any snapshot";
    EXPECT_EQ(0, Ask(plain.get(), &IMXMessage::GetFirstAttachment));
    com_ptr<IMXMessage> m = PutAndOpen(kMixed);
    EXPECT_EQ(std::vector<std::wstring>({L"data.bin", L"fwd.eml"}), Attachments(m.get()));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::GetNextAttachment));
    const long first = Ask(m.get(), &IMXMessage::GetFirstAttachment);
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::IsBodyAttachment, first));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::IsBodyAttachment, Ask(m.get(), &IMXMessage::GetPlainBody)));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::DeleteBody, first, MX_DELETE_NOFLAGS));
    EXPECT_EQ(0, Ask(m.get(), &IMXMessage::DeleteBody, first, MX_DELETE_NOFLAGS)) << "already deleted";
    EXPECT_EQ(std::vector<std::wstring>({L"fwd.eml"}), Attachments(m.get())) << "the next snapshot";

    Write(L"note.txt", "attached text\r\n");
    com_ptr<IMXMessage> made = CreateMessageObject();
    EXPECT_NE(0, Ask(made.get(), &IMXMessage::AttachFile, B((dir_.wstring() + L"/note.txt").c_str()).get()));
    EXPECT_EQ(0, Ask(made.get(), &IMXMessage::AttachFile, B(File(L"absent.txt").c_str()).get()));
    EXPECT_HR(S_OK, made->SetFolderID(FolderId(FOLDER_DRAFT)));
    EXPECT_EQ(1, Ask(made.get(), &IMXMessage::Commit));
    EXPECT_EQ(std::vector<std::wstring>({L"note.txt"}), Attachments(made.get()));
}

// The safe leaf taken from an attachment's file-name property before SaveBodyToFile writes it.
TEST(SafeAttachmentFileName, KeepsTheLastComponentTrimmedAsWindowsTrimsItOrRefusesTheName) {
    const std::pair<const wchar_t*, const wchar_t*> kept[] = {
        {L"..\\..\\x", L"x"}, {L"C:\\x", L"x"}, {L"a/b", L"b"}, {L"/etc/passwd", L"passwd"},
        {L"\\\\server\\share\\s.txt", L"s.txt"}, {L"dir\\r\u00E9sum\u00E9.pdf", L"r\u00E9sum\u00E9.pdf"},
        {L" leading.txt", L" leading.txt"}, {L"x.txt. . ", L"x.txt"}, {L"x...", L"x"}, {L"COM10", L"COM10"},
        {L"LPT0", L"LPT0"}, {L"CONSOLE.txt", L"CONSOLE.txt"}, {L"auxiliary", L"auxiliary"}};
    for (const auto& [name, leaf] : kept) EXPECT_EQ(std::wstring(leaf), SafeAttachmentFileName(name)) << name;
    // Names that leave the directory or name a device are refused.
    const wchar_t* refused[] = {
        L"", L".", L"..", L"... ", L"a\\..", L"dir\\", L"dir/", L"x.txt:ads", L"C:", L"a\x01" L"b", L"tab\there",
        L"new\nline", L"del\x7F", L"CON", L"con", L"Con.txt", L"NUL", L"nul.tar.gz", L"PRN", L"AUX.log", L"COM1",
        L"com9.txt", L"LPT1", L"lpt9", L"CON .txt", L"CONIN$", L"dir\\AUX", L"a<b", L"a>b", L"a|b", L"a?b", L"a*b",
        L"a\"b"};
    for (const wchar_t* name : refused) EXPECT_EQ(std::nullopt, SafeAttachmentFileName(name)) << name;
}

// Mail as people have it, under whatever ANSI code page the process has (CTest runs this program
// under 1252, 932 and 1251): file names travel as UTF-16 whatever the code page holds, a source
// read in pieces never splits a double-byte character, and subjects and bodies in the code page's
// own scripts read back whole.
const wchar_t kPhoto[] = L"\u5199\u771F.png";  // 写真.png
// An attachment named in UTF-8 (RFC 2231), a Shift_JIS body holding 表 (0x95 0x5C: a trail byte
// that is a backslash), and a subject in an ISO-2022-JP encoded word (日本語).
const char kJapanese[] =
    "Subject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
    "--b\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
    "\x95\x5C\x82\xC6\x95\x5C\r\n"
    "--b\r\nContent-Type: image/png\r\nContent-Disposition: attachment; filename*=UTF-8''%E5%86%99%E7%9C%9F.png\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\nAAECAw==\r\n--b--\r\n";

using CodePage = FilesTest;

TEST_F(CodePage, AFileNameOutsideTheCodePageIsSavedToAndReadFromWhole) {
    // Names from the mail and AttachFile, as a script author sees them: tests/scripts/script_author.js.
    com_ptr<IMXMessage> m = PutAndOpen(kJapanese);
    const std::wstring copy = std::wstring(L"\u041A\u043E\u043F\u0438\u044F ") + kPhoto;  // Копия 写真.png
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SaveBodyToFile, Ask(m.get(), &IMXMessage::GetFirstAttachment),
                     B(File(copy).c_str()).get(), 0));
    EXPECT_EQ(std::string("\0\1\2\3", 4), FileBytes(File(copy))) << "a whole path of the script's own";
    com_ptr<IMXMessage> fresh = CreateMessageObject();
    long done = 0;
    ASSERT_HR(S_OK, fresh->SetBodyFromFile(-1, B(File(copy).c_str()).get(), B(L"image").get(), B(L"png").get(), &done));
    EXPECT_EQ(1, done);
    EXPECT_EQ(copy, Ask(fresh.get(), &IMXMessage::GetFilename, -1));
}

TEST_F(CodePage, PropertiesHoldTextOutsideTheCodePage) {
    com_ptr<IMXMessage> m = CreateMessageObject();
    const wchar_t* mixed = L"caf\u00E9 \u0416 \u5199";
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SetBodyProp, -1, MX_PID_HDR_SUBJECT, B(mixed).get()));
    EXPECT_EQ(mixed, BodyProp(m.get(), L"Subject"));
    EXPECT_EQ(1, Ask(m.get(), &IMXMessage::SetBodyPropByName, -1, B(L"X-Note").get(), B(mixed).get()));
    EXPECT_EQ(mixed, BodyProp(m.get(), L"X-Note"));
}

TEST_F(CodePage, Japanese) {
    if (GetACP() != 932) GTEST_SKIP() << "runs under code page 932";
    com_ptr<IMXMessage> m = PutAndOpen(kJapanese);
    EXPECT_EQ(L"\u65E5\u672C\u8A9E", Ask(m.get(), &IMXMessage::GetSubject));
    EXPECT_EQ(L"\u8868\u3068\u8868", Ask(m.get(), &IMXMessage::GetBodyText, Ask(m.get(), &IMXMessage::GetPlainBody)));
    // Pieces of every size give the whole source; a lead byte at a piece's end goes to the next.
    const std::wstring whole = Ask(m.get(), &IMXMessage::GetAllSource);
    ASSERT_NE(std::wstring::npos, whole.find(L"\u8868\u3068\u8868"));
    for (long size : {1L, 2L, 3L, 7L}) {
        std::wstring joined;
        ASSERT_HR(S_OK, m->GetContentReset());
        for (std::wstring piece; !(piece = Ask(m.get(), &IMXMessage::GetSource, size)).empty();) joined += piece;
        EXPECT_EQ(whole, joined) << "pieces of " << size;
    }
    // A body that is not text reads as ANSI text, 2047 bytes at a time: 表 straddles the first cut.
    com_ptr<IMXMessage> other = PutAndOpen("Content-Type: application/x-text\r\n\r\n" + std::string(2046, 'a') + "\x95\x5C");
    EXPECT_EQ(std::wstring(2046, L'a') + L"\u8868", Ask(other.get(), &IMXMessage::GetBodyText, -1));
}

TEST_F(CodePage, ASourceThatEndsInALeadByteKeepsItsLastByte) {
    if (GetACP() != 932) GTEST_SKIP() << "runs under code page 932";
    com_ptr<IMXMessage> m = PutAndOpen("Subject: x\r\n\r\nab\x95");
    EXPECT_EQ(L"Subject: x\r\n\r\nab\u30FB", Ask(m.get(), &IMXMessage::GetAllSource)) << "a short read carries nothing";
    ASSERT_HR(S_OK, m->GetContentReset());
    EXPECT_EQ(L"Subject: x\r\n\r\nab", Ask(m.get(), &IMXMessage::GetSource, 17));
    const std::wstring target = File(L"tail.eml");
    long saved = 0;
    ASSERT_HR(S_OK, m->SaveAsFile(B(target.c_str()).get(), &saved));
    EXPECT_EQ(1, saved);
    EXPECT_EQ("\x95", FileBytes(File(L"tail.eml"))) << "the carried lead byte is written too";
}

TEST_F(CodePage, Russian) {
    if (GetACP() != 1251) GTEST_SKIP() << "runs under code page 1251";
    com_ptr<IMXMessage> m = PutAndOpen("Subject: =?KOI8-R?B?8NLJ18XU?=\r\n\r\nbody\r\n");
    EXPECT_EQ(L"\u041F\u0440\u0438\u0432\u0435\u0442", Ask(m.get(), &IMXMessage::GetSubject));
}

}  // namespace
}  // namespace pelkary::test
