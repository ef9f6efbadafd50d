#include "store_search_result.h"

#include <algorithm>
#include <array>

#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"

namespace mailstore_com {
namespace {

constexpr DWORD kStringColumns = STORESEARCHCOL_SUBJECT | STORESEARCHCOL_FROM | STORESEARCHCOL_FROMADDRESS |
                                 STORESEARCHCOL_TO | STORESEARCHCOL_CC | STORESEARCHCOL_MESSAGEID;
constexpr DWORD kStoredColumns =
    kStringColumns | STORESEARCHCOL_SIZE | STORESEARCHCOL_ATTACHMENTS | STORESEARCHCOL_RECEIVED | STORESEARCHCOL_SENT;

FILETIME Filetime(uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The strings of one row, held until every row is made: a failure then leaves none behind.
using RowStrings = std::array<pelkary::unique_bstr, 6>;

pelkary::unique_bstr Column(DWORD columns, DWORD bit, const std::string& utf8) {
  return (columns & bit) ? pelkary::make_bstr(pelkary::utf8_to_wide(utf8)) : pelkary::unique_bstr();
}

}  // namespace

STDMETHODIMP StoreSearchResult::QueryInterface(REFIID riid, void** ppv) {
  IStoreSearchResult* self = this;
  if (ppv && IsEqualIID(riid, IID_IMarshal)) return free_threaded_.Query(self, riid, ppv);
  return pelkary::query_interface(riid, ppv, {{IID_IUnknown, self}, {IID_IStoreSearchResult, self}});
}

size_t StoreSearchResult::Span(DWORD first, DWORD max) const {
  return first >= hits_.size() ? 0 : std::min<size_t>(max, hits_.size() - first);
}

STDMETHODIMP StoreSearchResult::GetCount(DWORD* pcHits) {
  if (!pcHits) return E_INVALIDARG;
  *pcHits = static_cast<DWORD>(std::min<uint64_t>(count_, MAXDWORD));
  return S_OK;
}

STDMETHODIMP StoreSearchResult::GetHits(DWORD iFirst, DWORD cMax, STOREHIT* prgHit, DWORD* pcFetched) {
  if (!pcFetched || (!prgHit && cMax)) return E_INVALIDARG;
  const size_t n = Span(iFirst, cMax);
  for (size_t i = 0; i < n; ++i) prgHit[i] = {hits_[iFirst + i].folder, hits_[iFirst + i].message};
  *pcFetched = static_cast<DWORD>(n);
  return n == cMax ? S_OK : S_FALSE;
}

STDMETHODIMP StoreSearchResult::GetRows(DWORD iFirst, DWORD cMax, DWORD dwColumns, STORESEARCHROW* prgRow,
                                        DWORD* pcFetched) {
  if (!pcFetched || (!prgRow && cMax) || (dwColumns & ~STORESEARCHCOL_ALL)) return E_INVALIDARG;
  *pcFetched = 0;
  return Guard(L"GetRows", [&]() -> HRESULT {
    const size_t n = Span(iFirst, cMax);
    std::vector<STORESEARCHROW> rows(n);
    std::vector<RowStrings> strings(n);
    for (size_t i = 0; i < n; ++i) {
      const mailsearch::Hit& hit = hits_[iFirst + i];
      STORESEARCHROW& row = rows[i];
      row.idFolder = hit.folder;
      row.idMessage = hit.message;
      if (!dwColumns) continue;
      // A message deleted since the search keeps its place with empty columns.
      mailstore::MessageRecordPtr record;
      const mailstore::Status s = conn_->store().FindMessage(hit.folder, hit.message, &record);
      if (s == mailstore::Status::kNotFound) continue;
      if (s != mailstore::Status::kOk) return STG_E_READFAULT;
      if (dwColumns & STORESEARCHCOL_STATE) row.dwState = record->flags;
      mailsearch::StoredFields f;
      if (!(dwColumns & kStoredColumns) || !conn_->search_index().GetStoredFields(hit, &f)) continue;
      if (dwColumns & STORESEARCHCOL_SIZE) row.cbMessage = f.size;
      if (dwColumns & STORESEARCHCOL_ATTACHMENTS) row.cAttachments = f.attachments;
      if (dwColumns & STORESEARCHCOL_RECEIVED) row.ftReceived = Filetime(f.received);
      if (dwColumns & STORESEARCHCOL_SENT) row.ftSent = Filetime(f.sent);
      strings[i] = {Column(dwColumns, STORESEARCHCOL_SUBJECT, f.subject), Column(dwColumns, STORESEARCHCOL_FROM, f.from),
                    Column(dwColumns, STORESEARCHCOL_FROMADDRESS, f.from_address),
                    Column(dwColumns, STORESEARCHCOL_TO, f.to), Column(dwColumns, STORESEARCHCOL_CC, f.cc),
                    Column(dwColumns, STORESEARCHCOL_MESSAGEID, f.message_id)};
    }
    for (size_t i = 0; i < n; ++i) {
      rows[i].bstrSubject = strings[i][0].release();
      rows[i].bstrFrom = strings[i][1].release();
      rows[i].bstrFromAddress = strings[i][2].release();
      rows[i].bstrTo = strings[i][3].release();
      rows[i].bstrCc = strings[i][4].release();
      rows[i].bstrMessageId = strings[i][5].release();
      prgRow[i] = rows[i];
    }
    *pcFetched = static_cast<DWORD>(n);
    return n == cMax ? S_OK : S_FALSE;
  });
}

}  // namespace mailstore_com
