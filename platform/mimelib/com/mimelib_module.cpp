// Module entry points of mimelib.dll: class objects for the message and the
// allocator, unloading, and self-registration (InprocServer32, Both).
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <new>
#include <string>

#include "com_support.h"
#include "frame/holders.h"
#include "mime_allocator.h"
#include "mime_message.h"

namespace mimelib {
namespace {

HINSTANCE g_instance = nullptr;

using CreateFn = HRESULT (*)(IUnknown*, REFIID, void**);

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(CreateFn create) : create_(create) { ModuleAddRef(); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    return create_(outer, riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return S_OK;
  }

 private:
  ~ClassFactory() { ModuleRelease(); }
  LONG refs_ = 1;
  CreateFn create_;
};

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* description;
  CreateFn create;
};

const ClassEntry kClasses[] = {
    {&CLSID_IMimeMessage, L"MIME message object", &MimeMessage::Create},
    {&CLSID_IMimeAllocator, L"MIME allocator object", &MimeAllocator::Create},
};

std::wstring ClsidKey(const CLSID& clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  return std::wstring(L"CLSID\\") + text;
}

HRESULT SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  pelkary::unique_hkey k;
  LONG r = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr);
  if (r != ERROR_SUCCESS) return HRESULT_FROM_WIN32(r);
  r = RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return r == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(r);
}

}  // namespace
}  // namespace mimelib

using namespace mimelib;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const auto& c : kClasses) {
    if (IsEqualCLSID(clsid, *c.clsid)) {
      auto* f = new (std::nothrow) ClassFactory(c.create);
      if (!f) return E_OUTOFMEMORY;
      const auto holder = pelkary::com_ptr<ClassFactory>::attach(f);
      return f->QueryInterface(riid, ppv);
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ModuleIdle() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(g_instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());
  for (const auto& c : kClasses) {
    const std::wstring key = ClsidKey(*c.clsid);
    HRESULT hr = SetValue(HKEY_CLASSES_ROOT, key, nullptr, c.description);
    if (SUCCEEDED(hr)) hr = SetValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, path);
    if (SUCCEEDED(hr)) hr = SetValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Both");
    if (FAILED(hr)) return SELFREG_E_CLASS;
  }
  return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  for (const auto& c : kClasses) {
    const LONG r = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey(*c.clsid).c_str());
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return SELFREG_E_CLASS;
  }
  return S_OK;
}
