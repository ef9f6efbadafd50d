// StoreSearchResult: the IStoreSearchResult of one search (see store_api.idl): the count and the
// hits in result order, fixed when made; rows read their columns from the index's stored fields
// and the message's state from the store when asked. Every method runs inside the error boundary
// ("StoreSearchResult.Method").
//
// Threading: immutable after construction and agile (free_threaded.h): any thread, no marshaling.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "comsupport/com_object.h"
#include "free_threaded.h"
#include "mailsearch/search_index.h"
#include "store_api.h"
#include "store_connection.h"

namespace mailstore_com {

class StoreSearchResult final : public pelkary::ComObject<StoreSearchResult, IStoreSearchResult> {
 public:
  static constexpr wchar_t kClassName[] = L"StoreSearchResult";

  StoreSearchResult(std::shared_ptr<StoreConnection> conn, uint64_t count, std::vector<mailsearch::Hit> hits)
      : conn_(std::move(conn)), count_(count), hits_(std::move(hits)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP GetCount(DWORD* pcHits) override;
  STDMETHODIMP GetHits(DWORD iFirst, DWORD cMax, STOREHIT* prgHit, DWORD* pcFetched) override;
  STDMETHODIMP GetRows(DWORD iFirst, DWORD cMax, DWORD dwColumns, STORESEARCHROW* prgRow, DWORD* pcFetched) override;

 private:
  ~StoreSearchResult() override = default;
  // The hits from |first|, at most |max| of them: their number.
  size_t Span(DWORD first, DWORD max) const;

  const std::shared_ptr<StoreConnection> conn_;
  const uint64_t count_;
  const std::vector<mailsearch::Hit> hits_;
  FreeThreaded free_threaded_;
};

}  // namespace mailstore_com
