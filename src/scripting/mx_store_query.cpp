// MXStore, version 1.1's queries: Count, Query and Table over the store's search index, Item, and
// Search answered by the query engine.
#include <algorithm>
#include <climits>

#include "comsupport/com_error.h"
#include "comsupport/unique_bstr.h"
#include "messages/mx_message.h"
#include "scripting/message_text.h"
#include "scripting/mx_store.h"
#include "scripting/search_table.h"
#include "scripting/store_walk.h"

namespace pelkary {

namespace {

constexpr wchar_t kNoIndex[] = L"This mail store has no search index: queries are not available.";
constexpr wchar_t kBadLimit[] = L"The limit must be a whole number, 0 or more (0 or left out: every match).";
// Hits asked of the store at a time.
constexpr DWORD kHitPage = 4096;

// The fields Search hands to the query engine, by their query-language names.
struct QueryField {
    const wchar_t* name;    // as Search takes it (letter case ignored)
    const wchar_t* prefix;  // in a query
};
constexpr QueryField kQueryFields[] = {
    {L"Subject", L"subject:"}, {L"From", L"from:"}, {L"To", L"to:"}, {L"Cc", L"cc:"}, {L"Body", L"body:"}};

// The limit argument of Table: Empty or left out is 0; anything else must read as a Long >= 0.
DWORD LimitOf(const VARIANT& limit) {
    if (V_VT(&limit) == VT_EMPTY || (V_VT(&limit) == VT_ERROR && V_ERROR(&limit) == DISP_E_PARAMNOTFOUND)) return 0;
    VARIANT number;
    VariantInit(&number);
    if (FAILED(VariantChangeType(&number, const_cast<VARIANT*>(&limit), 0, VT_I4)) || V_I4(&number) < 0)
        throw_described(E_INVALIDARG, kBadLimit);
    return static_cast<DWORD>(V_I4(&number));
}

// Search's text as a phrase of the query language: its words between quotes. Quotes and "@" (which
// would make an address of it) separate words like every other sign.
std::wstring PhraseOf(const std::wstring& text) {
    std::wstring words = text;
    std::replace_if(words.begin(), words.end(), [](wchar_t c) { return c == L'"' || c == L'@'; }, L' ');
    return L"\"" + words + L"\"";
}

}  // namespace

com_ptr<IStoreSearch> MXStore::SearchIndex() const {
    IStoreNamespace* store = Namespace();
    com_ptr<IStoreSearch> search = store ? com_ptr<IStoreNamespace>(store).try_query<IStoreSearch>() : nullptr;
    if (!search) throw_described(E_NOTIMPL, kNoIndex);
    return search;
}

com_ptr<IStoreSearchResult> MXStore::RunQuery(IStoreSearch* search, const std::wstring& query, DWORD flags,
                                              DWORD limit) {
    com_ptr<IStoreSearchResult> result;
    unique_bstr error;
    const HRESULT hr = search->Search(query.c_str(), flags, limit, result.put(), error.put());
    if (hr == STORE_E_BADQUERY)
        throw_described(hr, (L"The query cannot be read: " + TextOf(error.get())).c_str());
    check_hr(hr);
    return result;
}

std::vector<MessageRef> MXStore::HitsOf(IStoreSearchResult* result) {
    DWORD count = 0;
    check_hr(result->GetCount(&count));
    std::vector<MessageRef> refs;
    refs.reserve(count);
    std::vector<STOREHIT> page(std::min(count, kHitPage));
    for (DWORD first = 0, fetched = 0; first < count; first += fetched) {
        check_hr(result->GetHits(first, static_cast<DWORD>(page.size()), page.data(), &fetched));
        for (DWORD i = 0; i < fetched; ++i) refs.push_back({static_cast<long>(page[i].idFolder), page[i].idMessage});
        if (fetched < page.size()) break;
    }
    return refs;
}

com_ptr<IMXMessageCollection> MXStore::FixedCollection(std::vector<MessageRef> refs) {
    auto list = [refs = std::move(refs)] { return refs; };
    auto fixed = []() -> std::optional<unsigned long long> { return 0; };  // found once, listed once
    return MXMessageCollection::Make(com_ptr<IUnknown>(static_cast<IMXStore*>(this)), std::move(list), fixed);
}

HRESULT MXStore::Count(BSTR queryText, long* count) {
    return Guard(L"Count", [&] {
        com_ptr<IStoreSearchResult> result = RunQuery(SearchIndex().get(), TextOf(queryText), STORESEARCH_COUNTONLY, 0);
        DWORD hits = 0;
        check_hr(result->GetCount(&hits));
        *count = static_cast<long>(std::min<DWORD>(hits, LONG_MAX));
    }, count);
}

HRESULT MXStore::Query(BSTR queryText, IMXMessageCollection** messages) {
    return Guard(L"Query", [&] {
        com_ptr<IStoreSearchResult> result = RunQuery(SearchIndex().get(), TextOf(queryText), 0, 0);
        *messages = FixedCollection(HitsOf(result.get())).detach();
    }, messages);
}

HRESULT MXStore::Table(BSTR queryText, BSTR columns, VARIANT limit, VARIANT* table) {
    if (table) VariantInit(table);
    return Guard(L"Table", [&] {
        std::vector<TableColumn> wanted;
        std::wstring problem;
        if (!ParseTableColumns(TextOf(columns), &wanted, &problem)) throw_described(E_INVALIDARG, problem.c_str());
        const DWORD most = LimitOf(limit);
        com_ptr<IStoreSearch> search = SearchIndex();
        com_ptr<IStoreSearchResult> result = RunQuery(search.get(), TextOf(queryText), 0, most);
        DWORD rows = 0;
        check_hr(result->GetCount(&rows));
        if (most) rows = std::min(rows, most);
        SearchTable(search.get(), std::move(wanted)).Fill(result.get(), rows, table);
    }, table);
}

HRESULT MXStore::Item(long folderId, long messageId, IDispatch** message) {
    return Guard(L"Item", [&] {
        if (folderId <= 0 || messageId < 0) return;
        *message = MXMessage::MakeIfStored(folderId, static_cast<unsigned long>(messageId)).detach();
    }, message);
}

std::optional<std::vector<MessageRef>> MXStore::FindByQuery(long folder_id, const std::wstring& field,
                                                            const std::wstring& text, bool below) {
    const auto known = std::find_if(std::begin(kQueryFields), std::end(kQueryFields), [&](const QueryField& f) {
        return _wcsicmp(f.name, field.c_str()) == 0;
    });
    // Other header fields, and "every message that has the field", are the walk's.
    if (known == std::end(kQueryFields) || text.find_first_not_of(L" \t\"@") == std::wstring::npos) return std::nullopt;
    if (folder_id < 0 || (folder_id == 0 && !below)) return std::vector<MessageRef>();  // the root holds none
    IStoreNamespace* store = Namespace();
    com_ptr<IStoreSearch> search = store ? com_ptr<IStoreNamespace>(store).try_query<IStoreSearch>() : nullptr;
    if (!search) return std::nullopt;
    std::wstring query = std::wstring(known->prefix) + PhraseOf(text);
    if (folder_id != 0) {
        std::wstring scope;
        for (long folder : below ? FolderTree(store, folder_id) : std::vector<long>{folder_id})
            scope += (scope.empty() ? L"(folder:#" : L" OR folder:#") + std::to_wstring(folder);
        query = scope + L") " + query;
    }
    return HitsOf(RunQuery(search.get(), query, 0, 0).get());
}

}  // namespace pelkary
