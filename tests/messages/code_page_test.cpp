// Mail as people have it, under whatever ANSI code page the process has (CTest runs this program
// under 1252, 932 and 1251): file names travel as UTF-16 whatever the code page holds, a source
// read in pieces never splits a double-byte character, and subjects and bodies in the code page's
// own scripts read back whole.

#include "support/object_factory.h"
#include "support/store_test.h"

namespace pelkary::test {
namespace {

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
    // Names from the mail and AttachFile, as a script author sees them: tests/scripts/code_page_names.js.
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
