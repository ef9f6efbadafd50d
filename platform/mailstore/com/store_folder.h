// StoreFolder: IStoreFolder over one folder of a store. Holds only the
// folder id; every call reads the current state of the shared store. Every
// method that does any work runs inside the error boundary (source
// "StoreFolder.Method"). Agile like the namespace: any thread, no marshaling.
#pragma once

#include <windows.h>

#include <memory>

#include "comsupport/com_object.h"
#include "free_threaded.h"
#include "store_api.h"
#include "store_connection.h"

namespace mailstore_com {

class StoreFolder final : public pelkary::ComObject<StoreFolder, IStoreFolder> {
 public:
  static constexpr wchar_t kClassName[] = L"StoreFolder";

  StoreFolder(std::shared_ptr<StoreConnection> conn, uint32_t folder);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv && IsEqualIID(riid, IID_IMarshal)) return free_threaded_.Query(this, riid, ppv);
    return ComObject::QueryInterface(riid, ppv);
  }

  STDMETHODIMP GetFolderProps(DWORD dwReserved, FOLDERPROPS* pProps) override;
  STDMETHODIMP GetMessageProps(MESSAGEID dwMessageId, DWORD dwFlags, MESSAGEPROPS* pProps) override;
  STDMETHODIMP FreeMessageProps(MESSAGEPROPS* pProps) override;
  STDMETHODIMP DeleteMessages(MESSAGEIDLIST* pMsgIdList, DWORD dwReserved,
                              IProgressNotify* pProgress) override;
  STDMETHODIMP SetLanguage(DWORD dwLanguage, DWORD dwReserved, MESSAGEIDLIST* pMsgIdList) override;
  STDMETHODIMP MarkMessagesAsRead(BOOL fRead, DWORD dwReserved, MESSAGEIDLIST* pMsgIdList) override;
  STDMETHODIMP SetFlags(MESSAGEIDLIST* pMsgIdList, DWORD dwState, DWORD dwStatemask,
                        DWORD* prgdwNewFlags) override;
  STDMETHODIMP OpenMessage(MESSAGEID dwMessageId, REFIID riid, void** ppvObject) override;
  STDMETHODIMP SaveMessage(REFIID riid, void* pvObject, DWORD dwMsgFlags,
                           MESSAGEID* pdwMessageId) override;
  STDMETHODIMP BatchLock(DWORD dwReserved, HBATCHLOCK* phBatchLock) override;
  STDMETHODIMP BatchFlush(DWORD dwReserved, HBATCHLOCK hBatchLock) override;
  STDMETHODIMP BatchUnlock(DWORD dwReserved, HBATCHLOCK hBatchLock) override;
  STDMETHODIMP CreateStream(HBATCHLOCK hBatchLock, DWORD dwReserved, IStream** ppStream,
                            MESSAGEID* pdwMessageId) override;
  STDMETHODIMP CommitStream(HBATCHLOCK hBatchLock, DWORD dwFlags, DWORD dwMsgFlags,
                            IStream* pStream, MESSAGEID dwMessageId, IMimeMessage* pMessage) override;
  STDMETHODIMP RegisterNotification(DWORD dwReserved, HWND hwnd) override;
  STDMETHODIMP UnregisterNotification(DWORD dwReserved, HWND hwnd) override;
  STDMETHODIMP Compact(DWORD dwReserved) override;
  STDMETHODIMP GetFirstMessage(DWORD dwFlags, DWORD dwMsgFlags, MESSAGEID dwMsgIdFirst,
                               MESSAGEPROPS* pProps, HENUMSTORE* phEnum) override;
  STDMETHODIMP GetNextMessage(HENUMSTORE hEnum, DWORD dwFlags, MESSAGEPROPS* pProps) override;
  STDMETHODIMP GetMessageClose(HENUMSTORE hEnum) override;

 private:
  ~StoreFolder() override;
  HRESULT StoreSource(uint32_t id, const std::string& source, DWORD flags, MESSAGEID* out);
  // Sets the `mask` flags of the listed messages to those of `state`; `new_flags`, when given,
  // receives every message's flags afterwards.
  HRESULT ChangeFlags(const wchar_t* method, const MESSAGEIDLIST* list, DWORD state, DWORD mask,
                      DWORD* new_flags);

  std::shared_ptr<StoreConnection> conn_;
  uint32_t folder_;
  FreeThreaded free_threaded_;
};

// Shared helpers of the two store classes.
HRESULT FillFolderProps(const mailstore::FolderInfo& info, FOLDERPROPS* props);
// Reads the ids of a MESSAGEIDLIST; false when the list is unusable.
bool ReadIdList(const MESSAGEIDLIST* list, std::vector<uint32_t>* ids);

}  // namespace mailstore_com
