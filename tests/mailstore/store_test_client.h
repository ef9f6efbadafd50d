// What the store server tests share: a store opened through the COM runtime, messages committed
// into it, and the store tool run as another process on it.
#pragma once

#include <string>

#include "comsupport/com_ptr.h"
#include "comsupport/stream_io.h"
#include "store_api.h"
#include "support/test_support.h"

// A store record (MESSAGEPROPS, FOLDERPROPS) that is empty but for its size.
template <typename Record>
Record Sized(DWORD size = sizeof(Record)) { Record r = {}; r.cbSize = size; return r; }

inline pelkary::com_ptr<IStoreNamespace> OpenStore(HRESULT initialized = S_OK) {
  pelkary::com_ptr<IStoreNamespace> ns;
  EXPECT_HR(S_OK, CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace,
                                   ns.put_void()));
  EXPECT_HR(initialized, ns ? ns->Initialize(nullptr, 1) : E_FAIL);
  return ns;
}

inline MESSAGEID Commit(IStoreFolder* folder, const std::string& source, DWORD flags = 0) {
  pelkary::com_ptr<IStream> stream;
  MESSAGEID id = MESSAGEID_INVALID;
  EXPECT_HR(S_OK, folder->CreateStream(nullptr, 0, stream.put(), &id));
  EXPECT_HR(S_OK, pelkary::write_all(stream.get(), source));
  EXPECT_HR(S_OK, folder->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr));
  return id;
}

// Runs the store tool on |store| with |args|; its exit code.
inline DWORD RunTool(const std::wstring& store, const std::wstring& args) {
  std::wstring cmd = L"\"" + pelkary::test::BuiltBinaryPath(L"mxstore.exe") + L"\" --store \"" + store + L"\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;  // and no output
  PROCESS_INFORMATION pi = {};
  EXPECT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  pelkary::unique_handle thread(pi.hThread), process(pi.hProcess);
  DWORD code = 99;
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 60000));
  GetExitCodeProcess(process.get(), &code);
  return code;
}
