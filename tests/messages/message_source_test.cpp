// Reading the raw source through the one read position: pieces, resets, the header split, the
// body limits, NUL bytes, hostile counts, and SaveAsFile appending from the read position.
#include <climits>

#include "message_fixture.h"

namespace pelkary::test {
namespace {

// 10 header characters, CR LF CR LF, 5 body characters: 19 bytes.
const char kNineteen[] = "0123456789\r\n\r\nabcde";

using MessageSource = MessageTest;

TEST_F(MessageSource, NineteenByteSourceSplitsIntoHeaderAndBody) {
    com_ptr<IMXMessage> m = StoreAndOpen(kNineteen);
    ASSERT_TRUE(m);
    EXPECT_EQ(19, Number(m.get(), &IMXMessage::GetSourceLength));
    EXPECT_EQ(10, Number(m.get(), &IMXMessage::GetHeaderLength));
    EXPECT_EQ(L"0123456789", Text(m.get(), &IMXMessage::GetHeader));
    EXPECT_EQ(5, Number(m.get(), &IMXMessage::GetBodyLength));
    EXPECT_EQ(L"abcde", Text(m.get(), &IMXMessage::GetAllBody));
    EXPECT_EQ(L"abcde", Text(m.get(), &IMXMessage::GetBody, 100));
    EXPECT_EQ(L"ab", Text(m.get(), &IMXMessage::GetBody, 2));
    EXPECT_EQ(L"ab", Text(m.get(), &IMXMessage::GetBody, 2));
    EXPECT_EQ(L"abc", Text(m.get(), &IMXMessage::GetBody, 3));
    EXPECT_EQ(std::wstring(L"0123456789\r\n\r\nabcde"), Text(m.get(), &IMXMessage::GetAllSource));
}

TEST_F(MessageSource, PiecesFollowTheReadPositionAndAnEmptyReadStartsOver) {
    com_ptr<IMXMessage> m = StoreAndOpen(kNineteen);
    ASSERT_TRUE(m);
    EXPECT_EQ(L"01234", Text(m.get(), &IMXMessage::GetSource, 5));
    EXPECT_EQ(L"56789", Text(m.get(), &IMXMessage::GetSource, 5));
    EXPECT_EQ(L"\r\n\r\na", Text(m.get(), &IMXMessage::GetSource, 5));
    EXPECT_EQ(L"bcde", Text(m.get(), &IMXMessage::GetSource, 5));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, 5));
    EXPECT_EQ(L"01234", Text(m.get(), &IMXMessage::GetSource, 5));
    // GetContentReset goes back to the start; GetSource(0) reads nothing and resets.
    EXPECT_HR(S_OK, m->GetContentReset());
    EXPECT_EQ(L"012", Text(m.get(), &IMXMessage::GetSource, 3));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, 0));
    EXPECT_EQ(L"012", Text(m.get(), &IMXMessage::GetSource, 3));
    // GetAllSource always reads from the start, and leaves the position at the end.
    EXPECT_EQ(19u, Text(m.get(), &IMXMessage::GetAllSource).size());
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, 5));
}

TEST_F(MessageSource, HostileCountsGiveEmptyResultsAndResetNeverAllocateGigabytes) {
    com_ptr<IMXMessage> m = StoreAndOpen(kNineteen);
    ASSERT_TRUE(m);
    for (long count : {-2L, -1000L, LONG_MIN}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(L"012", Text(m.get(), &IMXMessage::GetSource, 3));
        EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, count));
        EXPECT_EQ(L"012", Text(m.get(), &IMXMessage::GetSource, 3)) << "position not reset";
        EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetBody, count));
    }
    // A count beyond the source reads at most the source: the rest of it, and then the end.
    EXPECT_HR(S_OK, m->GetContentReset());
    EXPECT_EQ(L"012", Text(m.get(), &IMXMessage::GetSource, 3));
    EXPECT_EQ(L"3456789\r\n\r\nabcde", Text(m.get(), &IMXMessage::GetSource, 100000));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, 100000));
    EXPECT_EQ(L"abcde", Text(m.get(), &IMXMessage::GetBody, 100000));
    // A huge count is refused like an allocation that cannot be had: empty, position reset.
    EXPECT_EQ(L"012", Text(m.get(), &IMXMessage::GetSource, 3));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, LONG_MAX));
    EXPECT_EQ(L"012", Text(m.get(), &IMXMessage::GetSource, 3)) << "position not reset";
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetBody, LONG_MAX));
}

TEST_F(MessageSource, SourceWithoutEmptyLineIsAllHeader) {
    const char source[] = "Subject: no body\r\nX-Other: yes\r\n";
    com_ptr<IMXMessage> m = StoreAndOpen(source);
    ASSERT_TRUE(m);
    EXPECT_EQ(L"Subject: no body\r\nX-Other: yes\r\n", Text(m.get(), &IMXMessage::GetHeader));
    EXPECT_EQ(static_cast<long>(sizeof source - 1), Number(m.get(), &IMXMessage::GetHeaderLength));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetBodyLength));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetAllBody));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetBody, 10));
}

TEST_F(MessageSource, HeaderSearchResetsThenLeavesThePositionAfterItsLastPiece) {
    // A header longer than one 100-byte piece, so the search reads two pieces.
    std::string header = "Subject: " + std::string(120, 'h');
    std::string source = header + "\r\n\r\n" + std::string(300, 'b');
    com_ptr<IMXMessage> m = StoreAndOpen(source);
    ASSERT_TRUE(m);
    EXPECT_EQ(L"Subj", Text(m.get(), &IMXMessage::GetSource, 4));
    EXPECT_EQ(std::wstring(header.begin(), header.end()), Text(m.get(), &IMXMessage::GetHeader));
    // Two pieces of 100 bytes were read: the position is at byte 200.
    EXPECT_EQ(std::wstring(5, L'b'), Text(m.get(), &IMXMessage::GetSource, 5));
    // The header is cached: asking again reads nothing and leaves the position alone.
    EXPECT_EQ(static_cast<long>(header.size()), Number(m.get(), &IMXMessage::GetHeaderLength));
    EXPECT_EQ(std::wstring(5, L'b'), Text(m.get(), &IMXMessage::GetSource, 5));
    EXPECT_EQ(static_cast<long>(300 - 0), Number(m.get(), &IMXMessage::GetBodyLength));
}

TEST_F(MessageSource, WholeBodyOfALargeMessageComesInPieces) {
    std::string body;
    for (int i = 0; i < 5000; ++i) body += static_cast<char>('a' + i % 26);
    com_ptr<IMXMessage> m = StoreAndOpen("Subject: big\r\n\r\n" + body);
    ASSERT_TRUE(m);
    EXPECT_EQ(std::wstring(body.begin(), body.end()), Text(m.get(), &IMXMessage::GetAllBody));
    EXPECT_EQ(std::wstring(body.begin(), body.begin() + 2500), Text(m.get(), &IMXMessage::GetBody, 2500));
    EXPECT_EQ(5000, Number(m.get(), &IMXMessage::GetBodyLength));
}

TEST_F(MessageSource, NulBytesCutTheirPiece) {
    // Bytes 0-4 "AB\0CD", bytes 5-9 "\0EFGH", then the rest.
    std::string source("AB\0CD\0EFGH\r\n\r\nbody", 18);
    com_ptr<IMXMessage> m = StoreAndOpen(source);
    ASSERT_TRUE(m);
    EXPECT_EQ(L"AB", Text(m.get(), &IMXMessage::GetSource, 5));
    // A piece that starts with NUL reads as empty although the position moved on.
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, 5));
    EXPECT_EQ(L"\r\n\r\nb", Text(m.get(), &IMXMessage::GetSource, 5));
    // The whole source in one read stops at the first NUL.
    EXPECT_EQ(L"AB", Text(m.get(), &IMXMessage::GetAllSource));
    // The header search reads 100-byte pieces: the first one is cut at its NUL and the next one is
    // empty, so the search ends there without a separator.
    EXPECT_EQ(L"AB", Text(m.get(), &IMXMessage::GetHeader));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetAllBody));
}

TEST_F(MessageSource, NulFarIntoALongPieceCutsIt) {
    std::string source(std::string(45, 'x') + '\0' + std::string(100, 'y'));
    com_ptr<IMXMessage> m = StoreAndOpen(source);
    ASSERT_TRUE(m);
    EXPECT_EQ(std::wstring(45, L'x'), Text(m.get(), &IMXMessage::GetSource, 120));
    EXPECT_EQ(std::wstring(26, L'y'), Text(m.get(), &IMXMessage::GetSource, 120));
}

TEST_F(MessageSource, NulAtThePieceStartStopsTheBody) {
    std::string source("H: v\r\n\r\nabcd\0efgh", 17);
    com_ptr<IMXMessage> m = StoreAndOpen(source);
    ASSERT_TRUE(m);
    // Pieces of 4: "H: v", "\r\n\r\n" (separator, empty body), "abcd", then "\0efg" reads as empty.
    EXPECT_EQ(L"abcd", Text(m.get(), &IMXMessage::GetBody, 4));
    EXPECT_EQ(L"abcd", Text(m.get(), &IMXMessage::GetAllBody));
}

TEST_F(MessageSource, SaveAsFileAppendsFromTheReadPosition) {
    TempDir dir;
    std::wstring file = dir.File(L"out.eml");
    WriteFileBytes(file, "OLD|");
    com_ptr<IMXMessage> m = StoreAndOpen(kNineteen);
    ASSERT_TRUE(m);
    EXPECT_EQ(L"0123456789", Text(m.get(), &IMXMessage::GetSource, 10));
    long ok = 0;
    EXPECT_HR(S_OK, m->SaveAsFile(B(file.c_str()).get(), &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(std::string("OLD|\r\n\r\nabcde"), ReadFileBytes(file));
    // The read ended at the end of the source, so the next save writes all of it.
    EXPECT_HR(S_OK, m->SaveAsFile(B(file.c_str()).get(), &ok));
    EXPECT_EQ(std::string("OLD|\r\n\r\nabcde") + kNineteen, ReadFileBytes(file));
}

TEST_F(MessageSource, SaveAsFileFailsForAPathThatCannotBeOpened) {
    TempDir dir;
    com_ptr<IMXMessage> m = StoreAndOpen(kNineteen);
    ASSERT_TRUE(m);
    long ok = 7;
    EXPECT_HR(S_OK, m->SaveAsFile(B(dir.File(L"missing\\out.eml").c_str()).get(), &ok));
    EXPECT_EQ(0, ok);
    EXPECT_HR(S_OK, m->SaveAsFile(nullptr, &ok));
    EXPECT_EQ(0, ok);
    EXPECT_EQ(0, CountEntries(dir.path()));
}

TEST_F(MessageSource, UnsavedMessageReadsNothing) {
    com_ptr<IMXMessage> m = NewMessage();
    ASSERT_TRUE(m);
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetSourceLength));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetHeaderLength));
    EXPECT_EQ(0, Number(m.get(), &IMXMessage::GetBodyLength));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetAllSource));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetSource, 10));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetHeader));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetBody, 10));
    EXPECT_EQ(L"", Text(m.get(), &IMXMessage::GetAllBody));
}

TEST_F(MessageSource, AnsiBytesAreConvertedToUtf16) {
    // 0xE9 is e-acute in the ANSI code page of these machines (1252).
    com_ptr<IMXMessage> m = StoreAndOpen("Subject: caf\xE9\r\n\r\nna\xEFve");
    ASSERT_TRUE(m);
    EXPECT_EQ(L"Subject: caf\u00E9", Text(m.get(), &IMXMessage::GetHeader));
    EXPECT_EQ(L"na\u00EFve", Text(m.get(), &IMXMessage::GetAllBody));
}

TEST_F(MessageSource, EveryByteValueConvertsAsTheCodePageSays) {
    // Every byte 1..255, at every alignment within 16-byte blocks, between ASCII runs long enough
    // to be widened in blocks.
    std::string source = "X: y\r\n\r\n";
    for (int shift = 0; shift < 16; ++shift) {
        source += std::string(static_cast<size_t>(32 + shift), 'a');
        for (int b = 1; b < 256; ++b) source.push_back(static_cast<char>(b));
    }
    std::wstring expected(source.size(), L'\0');
    ASSERT_EQ(static_cast<int>(source.size()),
              MultiByteToWideChar(CP_ACP, 0, source.data(), static_cast<int>(source.size()), expected.data(),
                                  static_cast<int>(expected.size())));
    com_ptr<IMXMessage> m = StoreAndOpen(source);
    ASSERT_TRUE(m);
    EXPECT_EQ(expected, Text(m.get(), &IMXMessage::GetAllSource));
    ASSERT_EQ(S_OK, m->GetContentReset());
    EXPECT_EQ(expected.substr(0, 37), Text(m.get(), &IMXMessage::GetSource, 37));
    EXPECT_EQ(expected.substr(37, 300), Text(m.get(), &IMXMessage::GetSource, 300));
}

}  // namespace
}  // namespace pelkary::test
