#include "store_client.h"

#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/unique_henumstore.h"
#include "folder_path.h"

namespace mxstore {

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByteEx(CP_ACP, c) != 0; }

bool StoreClient::Connect(const std::wstring& directory, std::string* error, bool initialize) {
  if (!directory.empty()) SetEnvironmentVariableW(L"MAILSTORE_DIR", directory.c_str());
  HRESULT hr = CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IStoreNamespace, ns_.put_void());
  if (hr == REGDB_E_CLASSNOTREG) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dll = std::wstring(path, n);
    dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"mailstore.dll";
    module_.reset(LoadLibraryW(dll.c_str()));
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = module_ ? reinterpret_cast<GetClassObject>(
                             reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllGetClassObject")))
                       : nullptr;
    pelkary::com_ptr<IClassFactory> factory;
    if (get && SUCCEEDED(get(CLSID_StoreNamespace, IID_IClassFactory, factory.put_void())))
      hr = factory->CreateInstance(nullptr, IID_IStoreNamespace, ns_.put_void());
    if (FAILED(hr)) {
      *error = "the mail store server is not registered and mailstore.dll is not beside the tool; "
               "register it with 'regsvr32 mailstore.dll' (scripts/register.sh)";
      return false;
    }
  } else if (FAILED(hr)) {
    char buf[160];
    snprintf(buf, sizeof(buf), "cannot start the mail store server (error 0x%08lX); reinstall it", hr);
    *error = buf;
    return false;
  }
  if (!initialize) return true;
  hr = ns_->Initialize(nullptr, 1);
  if (hr == STG_E_DOCFILECORRUPT) {
    *error = "the store is damaged; 'mxstore check' shows what is wrong and 'mxstore recover' "
             "rebuilds its index from the mail it holds";
    ns_ = nullptr;
    return false;
  }
  if (FAILED(hr)) {
    char buf[200];
    snprintf(buf, sizeof(buf),
             "cannot open the store (error 0x%08lX); check that the store directory exists and is "
             "writable, or name another with --store DIR", hr);
    *error = buf;
    ns_ = nullptr;
    return false;
  }
  return true;
}

STOREFOLDERID StoreClient::FindFolder(const std::string& text) {
  FolderPath path = FolderPath::Parse(text, IsAnsiLeadByte);
  FOLDERPROPS p = {};
  p.cbSize = sizeof(p);
  if (path.is_id()) return SUCCEEDED(ns_->GetFolderProps(path.id(), 0, &p)) ? path.id() : FOLDERID_INVALID;
  STOREFOLDERID cur = FOLDERID_ROOT;
  for (const std::string& name : path.names()) {
    cur = FindChild(cur, name);
    if (cur == FOLDERID_INVALID) break;
  }
  if (cur == FOLDERID_INVALID && path.is_bare_number()) {
    STOREFOLDERID id = static_cast<STOREFOLDERID>(std::stoul(path.names()[0]));
    if (id != FOLDERID_ROOT && SUCCEEDED(ns_->GetFolderProps(id, 0, &p))) return id;
  }
  return cur;
}

STOREFOLDERID StoreClient::FindChild(STOREFOLDERID parent, const std::string& name) {
  FOLDERPROPS p = {};
  p.cbSize = sizeof(p);
  pelkary::unique_henumstore<IStoreNamespace> e;
  if (ns_->GetFirstSubFolder(parent, &p, e.put(ns_.get())) == S_OK) {
    do {
      if (lstrcmpiA(p.szName, name.c_str()) == 0) return p.dwFolderId;
    } while (ns_->GetNextSubFolder(e.get(), &p) == S_OK);
  }
  return FOLDERID_INVALID;
}

bool StoreClient::GetProps(STOREFOLDERID id, FOLDERPROPS* props) {
  *props = {};
  props->cbSize = sizeof(*props);
  return SUCCEEDED(ns_->GetFolderProps(id, 0, props));
}

}  // namespace mxstore
