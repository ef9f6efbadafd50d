// Version 1.1's queries through the COM runtime under Wine: Table's array (its shape, the type and
// value of every column, limits, the empty result), Count, Query and Item, Search answered by the
// query engine, the errors that name the problem, and the store tool's answer to the same query
// beside the library's.
#include <cstdio>

#include "scripting/scripting_test.h"

namespace pelkary::test {

namespace {

constexpr wchar_t kAllColumns[] =
    L"id,folder,folderid,subject,from,fromaddress,to,cc,date,received,size,unread,flagged,attachments,messageid";

std::string Numbered(int n, const std::string& extra = "") {
    return "Subject: item " + std::to_string(n) + "\r\nFrom: Sender <s" + std::to_string(n) + "@example.org>\r\n" +
           extra + "\r\nbody of the list\r\n";
}

// A 2-D VARIANT array as rows of cells (each cell copied), with its bounds checked.
struct Grid {
    long rows = -2, columns = -2;
    std::vector<std::vector<VARIANT>> cells;
    ~Grid() {
        for (auto& row : cells)
            for (VARIANT& cell : row) VariantClear(&cell);
    }
};

class ScriptingQuery : public ScriptingTest {
protected:
    void Read(const wchar_t* query, const wchar_t* columns, VARIANT limit, Grid* grid) {
        VARIANT table;
        VariantInit(&table);
        ASSERT_HR(S_OK, store->Table(B(query).get(), B(columns).get(), limit, &table));
        ASSERT_EQ(V_VT(&table), VT_ARRAY | VT_VARIANT);
        SAFEARRAY* array = V_ARRAY(&table);
        ASSERT_EQ(SafeArrayGetDim(array), 2u);
        long low = 1;
        EXPECT_HR(S_OK, SafeArrayGetLBound(array, 1, &low));
        EXPECT_EQ(low, 0);
        SafeArrayGetUBound(array, 1, &grid->rows);
        SafeArrayGetUBound(array, 2, &grid->columns);
        ++grid->rows;
        ++grid->columns;
        for (long r = 0; r < grid->rows; ++r) {
            grid->cells.emplace_back(static_cast<size_t>(grid->columns));
            for (long c = 0; c < grid->columns; ++c) {
                long at[2] = {r, c};
                EXPECT_HR(S_OK, SafeArrayGetElement(array, at, &grid->cells[r][c]));
            }
        }
        VariantClear(&table);
    }
    VARIANT NoLimit() {
        VARIANT v;
        V_VT(&v) = VT_ERROR;
        V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
        return v;
    }
    VARIANT Limit(long n) {
        VARIANT v;
        V_VT(&v) = VT_I4;
        V_I4(&v) = n;
        return v;
    }
    std::wstring Refused(HRESULT expected, const wchar_t* query, const wchar_t* columns, VARIANT limit) {
        VARIANT table;
        VariantInit(&table);
        EXPECT_HR(expected, store->Table(B(query).get(), B(columns).get(), limit, &table));
        EXPECT_EQ(V_VT(&table), VT_EMPTY);
        const ErrorRecord error = ErrorInfoOf();
        EXPECT_EQ(error.source, L"MXStore.Table");
        return error.description;
    }
};

TEST_F(ScriptingQuery, TableGivesEveryColumnInItsTypeNewestFirst) {
    const long archive = NewFolder(L"Arch/ive");
    Put(Inbox(), Numbered(1));
    Put(archive,
        "Subject: =?UTF-8?B?5pel5pys6Kqe?= item\r\nFrom: Ann <ann@example.org>, Bob <bob@example.org>\r\n"
        "To: Carl <carl@example.org>\r\nCc: Dora <dora@example.org>\r\nMessage-ID: <one@example.org>\r\n"
        "Date: Tue, 1 Jul 2003 10:52:37 +0000\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n--b\r\nContent-Type: application/pdf; name=a.pdf\r\n"
        "Content-Disposition: attachment; filename=a.pdf\r\n\r\nPDF\r\n--b--\r\n",
        MSG_UNREAD | 0x800);
    const MESSAGEID newest = Ids(archive).front();
    Grid grid;
    Read(L"item", kAllColumns, NoLimit(), &grid);
    ASSERT_EQ(grid.rows, 2);
    ASSERT_EQ(grid.columns, 15);
    const std::vector<VARIANT>& row = grid.cells[0];
    const VARTYPE types[] = {VT_I4, VT_BSTR, VT_I4, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR, VT_BSTR,
                             VT_DATE, VT_DATE, VT_I4, VT_BOOL, VT_BOOL, VT_I4, VT_BSTR};
    for (size_t c = 0; c < row.size(); ++c) EXPECT_EQ(V_VT(&row[c]), types[c]) << "column " << c;
    EXPECT_EQ(V_I4(&row[0]), static_cast<long>(newest));
    EXPECT_STREQ(V_BSTR(&row[1]), L"Arch\\/ive") << "the folder in the store tool's path syntax";
    EXPECT_EQ(V_I4(&row[2]), archive);
    EXPECT_STREQ(V_BSTR(&row[3]), L"\u65E5\u672C\u8A9E item") << "whole, whatever the code page";
    EXPECT_NE(std::wstring(V_BSTR(&row[4])).find(L"Bob"), std::wstring::npos) << "every sender";
    EXPECT_STREQ(V_BSTR(&row[5]), L"ann@example.org");
    EXPECT_NE(std::wstring(V_BSTR(&row[6])).find(L"Carl"), std::wstring::npos);
    EXPECT_NE(std::wstring(V_BSTR(&row[7])).find(L"Dora"), std::wstring::npos);
    SYSTEMTIME utc = {2003, 7, 2, 1, 10, 52, 37, 0}, local;
    double sent = 0;
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) && SystemTimeToVariantTime(&local, &sent));
    EXPECT_NEAR(V_DATE(&row[8]), sent, 1.0 / 86400);
    EXPECT_GT(V_I4(&row[10]), 300);
    EXPECT_EQ(V_BOOL(&row[11]), VARIANT_TRUE);
    EXPECT_EQ(V_BOOL(&row[12]), VARIANT_TRUE);
    EXPECT_EQ(V_I4(&row[13]), 1);
    EXPECT_STREQ(V_BSTR(&row[14]), L"one@example.org");
    const std::vector<VARIANT>& older = grid.cells[1];
    EXPECT_EQ(V_I4(&older[2]), Inbox());
    EXPECT_EQ(V_VT(&older[8]), VT_NULL) << "no Date field";
    EXPECT_EQ(V_BOOL(&older[11]), VARIANT_FALSE);
    EXPECT_EQ(V_BOOL(&older[12]), VARIANT_FALSE);
}

TEST_F(ScriptingQuery, TableLimitsRepeatsColumnsAndGivesAnEmptyArrayForNoMatch) {
    for (int n = 1; n <= 300; ++n) Put(Inbox(), Numbered(n));  // more than a page of rows
    Grid all, two, none, twice;
    Read(L"list", L"subject", Limit(0), &all);
    ASSERT_EQ(all.rows, 300);
    EXPECT_STREQ(V_BSTR(&all.cells[0][0]), L"item 300");
    EXPECT_STREQ(V_BSTR(&all.cells[299][0]), L"item 1");
    Read(L"list", L"Subject , id", Limit(2), &two);
    ASSERT_EQ(two.rows, 2);
    EXPECT_STREQ(V_BSTR(&two.cells[1][0]), L"item 299");
    Read(L"nothing-like-this", L"subject,id", NoLimit(), &none);
    EXPECT_EQ(none.rows, 0) << "UBound(t, 1) is -1";
    EXPECT_EQ(none.columns, 2);
    Read(L"subject:\"item 7\"", L"subject,subject", NoLimit(), &twice);
    ASSERT_EQ(twice.rows, 1);
    EXPECT_STREQ(V_BSTR(&twice.cells[0][1]), L"item 7");
    EXPECT_STREQ(V_BSTR(&twice.cells[0][0]), L"item 7") << "a column asked twice is filled twice";
}

TEST_F(ScriptingQuery, BadInputRaisesAnErrorNamingTheProblem) {
    Put(Inbox(), Numbered(1));
    EXPECT_NE(Refused(E_INVALIDARG, L"item", L"subject,sender", NoLimit()).find(L"\"sender\""), std::wstring::npos);
    EXPECT_NE(Refused(E_INVALIDARG, L"item", L"subject,", NoLimit()).find(L"missing"), std::wstring::npos);
    EXPECT_NE(Refused(E_INVALIDARG, L"item", L"", NoLimit()).find(L"missing"), std::wstring::npos);
    EXPECT_NE(Refused(E_INVALIDARG, L"item", L"id", Limit(-1)).find(L"limit"), std::wstring::npos);
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    unique_bstr ten = B(L"ten");
    V_BSTR(&text) = ten.get();
    EXPECT_NE(Refused(E_INVALIDARG, L"item", L"id", text).find(L"limit"), std::wstring::npos);
    EXPECT_NE(Refused(STORE_E_BADQUERY, L"item (body:x", L"id", NoLimit()).find(L"cannot be read"), std::wstring::npos);
    long count = 7;
    EXPECT_HR(STORE_E_BADQUERY, store->Count(B(L"date:nonsense").get(), &count));
    EXPECT_EQ(ErrorInfoOf().source, L"MXStore.Count");
    com_ptr<IMXMessageCollection> none;
    EXPECT_HR(STORE_E_BADQUERY, store->Query(B(L"(").get(), none.put()));
}

TEST_F(ScriptingQuery, CountQueryAndItemAgreeWithTheTable) {
    const long other = NewFolder(L"Other");
    Put(Inbox(), Numbered(1));
    Put(other, Numbered(2, "X-Note: needle\r\n"));
    Put(Inbox(), Numbered(3));
    Put(Inbox(), "Subject: unrelated\r\n\r\nnothing\r\n");
    EXPECT_EQ(Ask(store.get(), &IMXStore::Count, B(L"list").get()), 3);
    EXPECT_EQ(Ask(store.get(), &IMXStore::Count, B(L"list folder:Other").get()), 1);
    com_ptr<IMXMessageCollection> found = Ask(store.get(), &IMXStore::Query, B(L"list").get());
    ASSERT_TRUE(found);
    EXPECT_EQ(Subjects(found.get()), (std::vector<std::wstring>{L"item 3", L"item 2", L"item 1"}));

    Grid grid;
    Read(L"list", L"folderid,id", NoLimit(), &grid);
    ASSERT_EQ(grid.rows, 3);
    com_ptr<IDispatch> second = Ask(store.get(), &IMXStore::Item, V_I4(&grid.cells[1][0]), V_I4(&grid.cells[1][1]));
    EXPECT_EQ(Text(second.get()), L"item 2");
    EXPECT_FALSE(Ask(store.get(), &IMXStore::Item, other, 99999L));
    EXPECT_FALSE(Ask(store.get(), &IMXStore::Item, 0L, 1L));

    // Search is answered by the engine: whole words, newest first, its folder and those below.
    const long below = NewFolder(L"Below", Inbox());
    Put(below, Numbered(4));
    EXPECT_EQ(Found(Inbox(), L"subject", L"ITEM"), (std::vector<std::wstring>{L"item 3", L"item 1"}));
    EXPECT_EQ(Found(Inbox(), L"Body", L"of the list", true),
              (std::vector<std::wstring>{L"item 4", L"item 3", L"item 1"}));
    EXPECT_EQ(Found(0, L"From", L"s2@example.org", true), (std::vector<std::wstring>{L"item 2"}));
}

// The store tool, run on the same store, lists the same messages in the same order.
TEST_F(ScriptingQuery, TheStoreToolAnswersTheSameQueryTheSameWay) {
    const long other = NewFolder(L"Other");
    for (int n = 1; n <= 12; ++n) Put(n % 3 ? Inbox() : other, Numbered(n, n % 4 ? "" : "Cc: odd@example.org\r\n"));
    const wchar_t query[] = L"list -cc:odd";
    Grid grid;
    Read(query, L"folder,id", NoLimit(), &grid);
    std::string mine;
    for (const auto& row : grid.cells) mine += Narrow(V_BSTR(&row[0])) + "\t#" + std::to_string(V_I4(&row[1])) + "\n";

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, &inherit, 0));
    unique_handle reader(read), writer(write);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::wstring command = L"\"" + BuiltBinaryPath(L"mxstore.exe") + L"\" search --columns folder,id \"" +
                           std::wstring(query) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    unique_handle thread(process.hThread), child(process.hProcess);
    writer.reset();
    std::string tool;
    char buffer[4096];
    for (DWORD got = 0; ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0;) tool.append(buffer, got);
    EXPECT_EQ(WaitForSingleObject(child.get(), 60000), WAIT_OBJECT_0);
    tool.erase(std::remove(tool.begin(), tool.end(), '\r'), tool.end());
    EXPECT_EQ(grid.rows, 9);
    EXPECT_EQ(tool, mine);
}

}  // namespace
}  // namespace pelkary::test
