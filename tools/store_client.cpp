#include "store_client.h"

#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/unique_henumstore.h"

namespace mxstore {
namespace {

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

}  // namespace

bool StoreClient::Connect(const std::wstring& directory, std::string* error) {
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
  hr = ns_->Initialize(nullptr, 1);
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

STOREFOLDERID StoreClient::FindFolder(const std::string& path) {
  if (!path.empty() && path.find_first_not_of("0123456789") == std::string::npos && path.size() < 10) {
    STOREFOLDERID id = static_cast<STOREFOLDERID>(std::stoul(path));
    FOLDERPROPS p = {};
    p.cbSize = sizeof(p);
    return SUCCEEDED(ns_->GetFolderProps(id, 0, &p)) ? id : FOLDERID_INVALID;
  }
  STOREFOLDERID cur = FOLDERID_ROOT;
  for (const std::string& part : SplitPath(path)) {
    FOLDERPROPS p = {};
    p.cbSize = sizeof(p);
    pelkary::unique_henumstore<IStoreNamespace> e;
    STOREFOLDERID found = FOLDERID_INVALID;
    if (ns_->GetFirstSubFolder(cur, &p, e.put(ns_.get())) == S_OK) {
      do {
        if (lstrcmpiA(p.szName, part.c_str()) == 0) {
          found = p.dwFolderId;
          break;
        }
      } while (ns_->GetNextSubFolder(e.get(), &p) == S_OK);
    }
    if (found == FOLDERID_INVALID) return FOLDERID_INVALID;
    cur = found;
  }
  return cur;
}

std::string StoreClient::FolderPath(STOREFOLDERID id) {
  FOLDERPROPS p = {};
  p.cbSize = sizeof(p);
  if (FAILED(ns_->GetFolderProps(id, 0, &p))) return "?";
  return p.szName;
}

}  // namespace mxstore
