// The safe leaf taken from an attachment's file-name property before SaveBodyToFile writes it.
#include <gtest/gtest.h>

#include "support/server_internals.h"

namespace pelkary {
namespace {

TEST(SafeAttachmentFileName, KeepsTheLastComponentTrimmedAsWindowsTrimsIt) {
    const std::pair<const wchar_t*, const wchar_t*> kept[] = {
        {L"..\\..\\x", L"x"}, {L"C:\\x", L"x"}, {L"a/b", L"b"}, {L"/etc/passwd", L"passwd"},
        {L"\\\\server\\share\\s.txt", L"s.txt"}, {L"dir\\r\u00E9sum\u00E9.pdf", L"r\u00E9sum\u00E9.pdf"},
        {L" leading.txt", L" leading.txt"}, {L"x.txt. . ", L"x.txt"}, {L"x...", L"x"}, {L"COM10", L"COM10"},
        {L"LPT0", L"LPT0"}, {L"CONSOLE.txt", L"CONSOLE.txt"}, {L"auxiliary", L"auxiliary"}};
    for (const auto& [name, leaf] : kept) EXPECT_EQ(std::wstring(leaf), SafeAttachmentFileName(name)) << name;
}

TEST(SafeAttachmentFileName, RefusesNamesThatLeaveTheDirectoryOrNameADevice) {
    const wchar_t* refused[] = {
        L"", L".", L"..", L"... ", L"a\\..", L"dir\\", L"dir/", L"x.txt:ads", L"C:", L"a\x01" L"b", L"tab\there",
        L"new\nline", L"del\x7F", L"CON", L"con", L"Con.txt", L"NUL", L"nul.tar.gz", L"PRN", L"AUX.log", L"COM1",
        L"com9.txt", L"LPT1", L"lpt9", L"CON .txt", L"CONIN$", L"dir\\AUX", L"a<b", L"a>b", L"a|b", L"a?b", L"a*b",
        L"a\"b"};
    for (const wchar_t* name : refused) EXPECT_EQ(std::nullopt, SafeAttachmentFileName(name)) << name;
}

}  // namespace
}  // namespace pelkary
