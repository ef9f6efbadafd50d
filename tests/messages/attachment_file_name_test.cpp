// The safe leaf taken from an attachment's file-name property. The hostile names here are the
// ones the saving tests also push through SaveBodyToFile under Wine.
#include <gtest/gtest.h>

#include "messages/attachment_file_name.h"

namespace pelkary {
namespace {

TEST(SafeAttachmentFileName, KeepsOnlyTheLastComponentAfterEitherSlash) {
    EXPECT_EQ(L"x", SafeAttachmentFileName(L"..\\..\\x"));
    EXPECT_EQ(L"x", SafeAttachmentFileName(L"C:\\x"));
    EXPECT_EQ(L"b", SafeAttachmentFileName(L"a/b"));
    EXPECT_EQ(L"passwd", SafeAttachmentFileName(L"/etc/passwd"));
    EXPECT_EQ(L"r\u00E9sum\u00E9.pdf", SafeAttachmentFileName(L"dir\\r\u00E9sum\u00E9.pdf"));
    EXPECT_EQ(L"report.pdf", SafeAttachmentFileName(L"report.pdf"));
    EXPECT_EQ(L" leading.txt", SafeAttachmentFileName(L" leading.txt"));
}

TEST(SafeAttachmentFileName, TrimsTrailingDotsAndSpacesAsWindowsDoes) {
    EXPECT_EQ(L"x.txt", SafeAttachmentFileName(L"x.txt. . "));
    EXPECT_EQ(L"x", SafeAttachmentFileName(L"x..."));
    EXPECT_EQ(std::nullopt, SafeAttachmentFileName(L"... "));
    EXPECT_EQ(std::nullopt, SafeAttachmentFileName(L"a\\.."));
}

TEST(SafeAttachmentFileName, RefusesNamesThatLeaveTheDirectoryOrNameADevice) {
    const wchar_t* refused[] = {
        L"", L".", L"..", L"dir\\", L"dir/", L"x.txt:ads", L"C:", L"a\x01" L"b", L"tab\there",
        L"new\nline", L"del\x7F", L"CON", L"con", L"Con.txt", L"NUL", L"nul.tar.gz", L"PRN", L"AUX.log",
        L"COM1", L"com9.txt", L"LPT1", L"lpt9", L"CON .txt", L"CONIN$", L"dir\\AUX", L"a<b", L"a>b", L"a|b",
        L"a?b", L"a*b", L"a\"b",
    };
    for (const wchar_t* name : refused) EXPECT_EQ(std::nullopt, SafeAttachmentFileName(name)) << name;
}

TEST(SafeAttachmentFileName, AcceptsNamesThatOnlyResembleDevices) {
    EXPECT_EQ(L"COM10", SafeAttachmentFileName(L"COM10"));
    EXPECT_EQ(L"LPT0", SafeAttachmentFileName(L"LPT0"));
    EXPECT_EQ(L"CONSOLE.txt", SafeAttachmentFileName(L"CONSOLE.txt"));
    EXPECT_EQ(L"auxiliary", SafeAttachmentFileName(L"auxiliary"));
}

}  // namespace
}  // namespace pelkary
