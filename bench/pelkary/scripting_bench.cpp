// scripting_bench: the scripting library (PELKARY.MXStore) beside what a script does without it,
// on one store of N messages in the Inbox, in one run. From VBScript (scripting_bench.vbs):
//
//   walk     For Each over Messages(Inbox) beside MXFolder's GetFirstMessage/GetNextMessage walk,
//            each reading every subject;
//   lookup   FindByMessageId beside a walk that reads each message's Message-ID field until it
//            meets the one wanted (a message in the middle of the folder);
//   search   Search on the subject beside a walk that compares each subject itself;
//   changes  after D more deliveries, Changes(cursor) read whole — early-bound and from VBScript —
//            beside the store's own change history read directly (IStoreIndex::GetChanges);
//   bulk     Table of five columns over the whole Inbox and For Each over Query, beside the
//            published first/next walk reading the same five fields and beside the runtime's own
//            object creation (a Scripting.Dictionary per message, the floor that the walk cannot
//            go under); Count and Table of a word query matching 1% of the messages beside the
//            same query run natively through the store's IStoreSearch from C++.
//
// Usage (DLLs registered): scripting_bench.exe [messages = 100000] [deliveries = 10000]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench_script.h"
#include "comsupport/holders.h"
#include "pelkary_scripting.h"
#include "store_api.h"

using pelkary::com_ptr;
using pelkary::bench::Check;
using pelkary::bench::SecondsOf;
using pelkary::bench::UseFreshStore;
using pelkary::unique_bstr;

namespace {

// Message n: Message-ID <n@bench.example>; every hundredth subject holds the word "needle".
void Deliver(IStoreFolder* folder, long n) {
    const std::string number = std::to_string(n);
    const std::string source = "From: Sender " + std::to_string(n % 97) + " <s@example.org>\r\nSubject: Message " +
                               number + (n % 100 == 0 ? " needle" : "") + "\r\nMessage-ID: <" + number +
                               "@bench.example>\r\n\r\nBody of message " + number + ".\r\n";
    com_ptr<IStream> stream;
    MESSAGEID id = MESSAGEID_INVALID;
    Check("CreateStream", folder->CreateStream(nullptr, 0, stream.put(), &id));
    ULONG written = 0;
    Check("Write", stream->Write(source.data(), static_cast<ULONG>(source.size()), &written));
    Check("CommitStream", folder->CommitStream(nullptr, 0, 0x2, stream.get(), id, nullptr));
}

struct Figure {
    long items = 0;
    double seconds = 0;
};

// One measurement of scripting_bench.vbs; items 0 when it could not run.
Figure Script(const std::wstring& arguments) {
    Figure figure;
    const std::string line = pelkary::bench::RunCscript(PELKARY_SCRIPTING_BENCH_SCRIPT, arguments);
    if (std::sscanf(line.c_str(), "%ld %lf", &figure.items, &figure.seconds) != 2) {
        std::printf("  (script: %s)\n", line.c_str());
        figure.items = 0;
    }
    return figure;
}

// "what: <per item> us per <unit> (<items>)" beside the baseline's figure and their ratio.
void Print(const char* what, const char* unit, Figure figure, const char* baseline_what, Figure baseline) {
    const auto per = [](Figure f) { return f.items ? f.seconds * 1e6 / f.items : 0.0; };
    std::printf("  %-34s %12.1f us per %-8s (%ld)  | baseline %-34s %12.2f us (%ld)  %.2fx\n", what, per(figure),
                unit, figure.items, baseline_what, per(baseline), baseline.items,
                per(baseline) > 0 ? per(figure) / per(baseline) : 0.0);
}

// "what: <per item> us per <unit>" beside the baseline, as how many times faster it is.
void PrintFaster(const char* what, const char* unit, Figure figure, const char* baseline_what, Figure baseline) {
    const auto per = [](Figure f) { return f.items ? f.seconds * 1e6 / f.items : 0.0; };
    std::printf("  %-40s %10.2f us per %-8s | %-40s %10.2f us  %6.1fx faster\n", what, per(figure), unit,
                baseline_what, per(baseline), per(figure) > 0 ? per(baseline) / per(figure) : 0.0);
}

// `repeats` runs of `query` natively: the count alone, or every hit with the five columns.
Figure Native(IStoreSearch* search, const wchar_t* query, int repeats, bool rows) {
    Figure figure;
    figure.items = repeats;
    figure.seconds = SecondsOf([&] {
        for (int r = 0; r < repeats; ++r) {
            com_ptr<IStoreSearchResult> result;
            Check("IStoreSearch::Search", search->Search(query, rows ? 0 : STORESEARCH_COUNTONLY, 0, result.put(), nullptr));
            DWORD count = 0;
            Check("GetCount", result->GetCount(&count));
            STORESEARCHROW page[256];
            for (DWORD first = 0, fetched = 0; rows && first < count; first += fetched) {
                Check("GetRows", result->GetRows(first, 256, STORESEARCHCOL_SUBJECT | STORESEARCHCOL_FROM |
                                                     STORESEARCHCOL_SIZE | STORESEARCHCOL_STATE, page, &fetched));
                for (DWORD i = 0; i < fetched; ++i) {
                    SysFreeString(page[i].bstrSubject);
                    SysFreeString(page[i].bstrFrom);
                }
                if (fetched == 0) break;
            }
        }
    });
    return figure;
}

void Bulk(IStoreNamespace* store, long messages) {
    constexpr int kRepeats = 100;
    com_ptr<IStoreSearch> search = com_ptr<IStoreNamespace>(store).try_query<IStoreSearch>();
    if (!search) Check("IStoreSearch", E_NOINTERFACE);
    // The index catches up with the store at the first query: not inside a measured one.
    std::printf("search index brought up to date in %.1f s\n", Native(search.get(), L"*", 1, false).seconds);
    std::printf("bulk reads from VBScript, five fields of each Inbox message (id, subject, from, size, unread):\n");
    const Figure walk = Script(L"walk5");
    const Figure floor = Script(L"dictionary " + std::to_wstring(messages));
    const Figure table = Script(L"table folder:Inbox 1");
    const Figure each = Script(L"queryeach folder:Inbox");
    PrintFaster("Table(\"folder:Inbox\", 5 columns)", "message", table, "published walk, 5 fields", walk);
    PrintFaster("For Each over Query(\"folder:Inbox\")", "message", each, "published walk, 5 fields", walk);
    PrintFaster("published walk, 5 fields", "message", walk, "Scripting.Dictionary per message", floor);
    PrintFaster("For Each over Query(\"folder:Inbox\")", "message", each, "Scripting.Dictionary per message", floor);

    std::printf("a word query matching 1%% (\"needle\"), %d runs of each Table:\n", kRepeats);
    const std::wstring repeats = L" " + std::to_wstring(kRepeats);
    // A count takes well under a millisecond: many runs, so that the script's clock (a tick of
    // some milliseconds under Wine) does not decide the figure.
    constexpr int kCountRepeats = 2000;
    const Figure count = Script(L"count needle " + std::to_wstring(kCountRepeats));
    Figure rows = Script(L"table needle" + repeats), in_place = Script(L"tablecall needle" + repeats);
    std::printf("  (%ld rows per Table)\n", rows.items / kRepeats);
    rows.items = in_place.items = kRepeats;
    const Figure native_rows = Native(search.get(), L"needle", kRepeats, true);
    Print("Count(\"needle\") from VBScript", "query", count, "IStoreSearch count-only, C++",
          Native(search.get(), L"needle", kCountRepeats, false));
    Print("t = Table(\"needle\", 5 columns)", "query", rows, "IStoreSearch + GetRows, C++", native_rows);
    Print("UBound(Table(\"needle\", 5 columns))", "query", in_place, "IStoreSearch + GetRows, C++", native_rows);
}

}  // namespace

int main(int argc, char** argv) {
    const long messages = argc > 1 ? std::max(1L, std::atol(argv[1])) : 100000;
    const long deliveries = argc > 2 ? std::max(1L, std::atol(argv[2])) : 10000;
    Check("CoInitializeEx", CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    UseFreshStore(L"pelkary-scripting-bench-");
    {
        com_ptr<IStoreNamespace> namespace_ = pelkary::bench::OpenStore();
        com_ptr<IStoreFolder> inbox;
        Check("OpenSpecialFolder(Inbox)", namespace_->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put()));
        const double fill = SecondsOf([&] {
            for (long n = 1; n <= messages; ++n) Deliver(inbox.get(), n);
        });
        std::printf("store filled with %ld messages in %.1f s (%.0f us each)\n", messages, fill, fill * 1e6 / messages);

        std::printf("walking the Inbox from VBScript, reading each subject:\n");
        Print("For Each over Messages(Inbox)", "message", Script(L"foreach"), "GetFirstMessage/GetNextMessage",
              Script(L"walk"));

        Bulk(namespace_.get(), messages);

        // Lookups spread over the store; the walk looks for the middle one.
        std::wstring ids;
        constexpr long kLookups = 200;
        for (long k = 0; k < kLookups; ++k)
            ids += L" <" + std::to_wstring(1 + k * (messages / kLookups)) + L"@bench.example>";
        const std::wstring middle = L"<" + std::to_wstring(messages / 2 + 1) + L"@bench.example>";
        std::printf("finding a message by Message-ID from VBScript:\n");
        Print("FindByMessageId", "lookup", Script(L"find" + ids), "walk reading Message-ID to the middle",
              Script(L"findwalk " + middle));

        std::printf("searching the Inbox's subjects from VBScript (one in a hundred matches):\n");
        Figure search = Script(L"search NEEDLE"), by_hand = Script(L"searchwalk NEEDLE");
        // Per message searched, not per match.
        search.items = by_hand.items = messages;
        Print("Search(Inbox, \"Subject\", ...)", "message", search, "walk comparing GetSubject", by_hand);

        com_ptr<IMXStore> store;
        Check("creating PELKARY.MXStore",
              CoCreateInstance(CLSID_MXStore, nullptr, CLSCTX_INPROC_SERVER, IID_IMXStore, store.put_void()));
        unique_bstr cursor;
        Check("ChangeCursor", store->ChangeCursor(cursor.put()));
        com_ptr<IStoreIndex> index = com_ptr<IStoreNamespace>(namespace_).try_query<IStoreIndex>();
        if (!index) Check("IStoreIndex", E_NOINTERFACE);
        ULONGLONG after = 0;
        Check("GetChangeCursor", index->GetChangeCursor(&after));
        const double delivered = SecondsOf([&] {
            for (long n = messages + 1; n <= messages + deliveries; ++n) Deliver(inbox.get(), n);
        });
        std::printf("the change feed after %ld deliveries (delivered in %.1f s):\n", deliveries, delivered);
        Figure direct, early;
        direct.seconds = SecondsOf([&] {
            STORECHANGE batch[64];
            for (DWORD fetched = 0;; direct.items += static_cast<long>(fetched)) {
                Check("GetChanges", index->GetChanges(after, 64, batch, &fetched));
                if (fetched == 0) break;
                after = batch[fetched - 1].ullSequence;
            }
        });
        early.seconds = SecondsOf([&] {
            com_ptr<IMXChangeCollection> changes;
            Check("Changes", store->Changes(cursor.get(), changes.put()));
            Check("Count", changes->get_Count(&early.items));
            for (long i = 1; i <= early.items; ++i) {
                com_ptr<IMXChange> change;
                unique_bstr kind;
                long id = 0;
                Check("Item", changes->Item(i, change.put()));
                Check("Kind", change->get_Kind(kind.put()));
                Check("MessageId", change->get_MessageId(&id));
            }
        });
        Print("Changes, C++ early-bound", "change", early, "IStoreIndex::GetChanges", direct);
        Print("Changes, VBScript For Each", "change", Script(L"changes " + std::wstring(cursor.get())),
              "IStoreIndex::GetChanges", direct);
    }
    CoUninitialize();
    return 0;
}
