// What the store tests of this folder share: the store through COM, records to fill, messages in
// and out, and hidden windows that collect what the store posts to them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "comsupport/stream_io.h"
#include "comsupport/unique_henumstore.h"
#include "support/test_support.h"

namespace store_test {

using pelkary::com_ptr;

// A store record (MESSAGEPROPS, FOLDERPROPS) that is empty but for its size.
template <typename Record>
Record Sized(DWORD size = sizeof(Record)) {
  Record r = {};
  r.cbSize = size;
  return r;
}

inline com_ptr<IStoreNamespace> OpenStore(HRESULT initialized = S_OK) {
  com_ptr<IStoreNamespace> ns;
  EXPECT_HR(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace,
                                   ns.put_void()));
  EXPECT_HR(initialized, ns ? ns->Initialize(nullptr, 1) : E_FAIL);
  return ns;
}

inline MESSAGEID Commit(IStoreFolder* folder, const std::string& source, DWORD flags = 0) {
  com_ptr<IStream> stream;
  MESSAGEID id = MESSAGEID_INVALID;
  EXPECT_HR(S_OK, folder->CreateStream(nullptr, 0, stream.put(), &id));
  EXPECT_HR(S_OK, pelkary::write_all(stream.get(), source));
  EXPECT_HR(S_OK, folder->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr));
  return id;
}

// A folder's messages in the store's order: each id with the source read back through its stream.
inline std::vector<std::pair<MESSAGEID, std::string>> Messages(IStoreFolder* folder) {
  std::vector<std::pair<MESSAGEID, std::string>> out;
  MESSAGEPROPS p = Sized<MESSAGEPROPS>();
  pelkary::unique_henumstore<IStoreFolder> walk;
  for (HRESULT hr = folder->GetFirstMessage(0, 0, MESSAGEID_FIRST, &p, walk.put(folder)); hr == S_OK;
       hr = folder->GetNextMessage(walk.get(), 0, &p)) {
    com_ptr<IStream> s;
    out.emplace_back(p.dwMessageId, "");
    if (SUCCEEDED(folder->OpenMessage(p.dwMessageId, IID_IStream, s.put_void())))
      pelkary::read_to_end(s.get(), &out.back().second);
    folder->FreeMessageProps(&p);
  }
  return out;
}

// What one window got: message, id (WM_NEWMSGS: the new message, WM_DELETEMSGS: the first
// deleted one) and WM_FOLDERNOTIFY's record (type, folder, second folder; freed here, as every
// receiver must).
using Posts = std::vector<std::vector<DWORD>>;
inline std::vector<std::pair<HWND, std::vector<DWORD>>> g_posted;

class StoreWindow {
 public:
  StoreWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = [](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
      if (msg < WM_FOLDERNOTIFY || msg > WM_DELETEFOLDER) return DefWindowProcW(hwnd, msg, wp, lp);
      pelkary::unique_cotaskmem<FOLDERNOTIFYEX> c(
          msg == WM_FOLDERNOTIFY ? reinterpret_cast<FOLDERNOTIFYEX*>(lp) : nullptr);
      const DWORD id = msg == WM_DELETEMSGS ? *reinterpret_cast<MESSAGEID*>(wp) : static_cast<DWORD>(wp);
      g_posted.push_back({hwnd, c ? std::vector<DWORD>{msg, id, c->type, c->idFolder, c->idFolder2}
                                  : std::vector<DWORD>{msg, id}});
      return 0;
    };
    wc.lpszClassName = L"StoreTestWindow";
    RegisterClassW(&wc);  // again: fails harmlessly
    hwnd_.reset(CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    g_posted.clear();  // a window of an earlier test may have had the same handle
  }
  HWND hwnd() const { return hwnd_.get(); }

  // Pumps this thread's queue until nothing arrives for `quiet_ms`; then takes what this window got.
  Posts Drain(DWORD quiet_ms = 150) const {
    for (DWORD last = GetTickCount(); GetTickCount() - last < quiet_ms; Sleep(5))
      for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); last = GetTickCount()) DispatchMessageW(&m);
    Posts mine;
    for (auto it = g_posted.begin(); it != g_posted.end();)
      it = it->first == hwnd_.get() ? (mine.push_back(it->second), g_posted.erase(it)) : it + 1;
    return mine;
  }

 private:
  pelkary::unique_hwnd hwnd_;
};

}  // namespace store_test
