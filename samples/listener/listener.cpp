// listener: prints every event of the folder manager and of every folder while other processes
// change the mail store (for example `mxstore import Inbox mail.eml` in another window).
//
//   listener [--seconds N] [--exit-after-new N]
//
// It connects one sink to a folder manager (folder created, deleted, renamed, moved, unread count
// changed, new unread message) and one to each folder that exists when it starts (message added,
// message deleted, folder deleted), then runs a message loop: pelkary raises its events on the
// thread that created the objects, and only while that thread dispatches messages.
//
// A script version needs a host that connects script sinks: Wine's cscript does not (both
// WScript.ConnectObject and WScript.CreateObject with an event prefix answer error 445, "Object
// doesn't support this action"), so under Wine events reach C++ clients only.
//
// It needs nothing but pelkary's SDK (pelkary.h and pelkary_i.c) and plain COM; README.md beside
// it gives the build line.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pelkary.h"

namespace {

// Owns one reference to a COM interface and releases it when it goes.
template <typename T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* owned) : p_(owned) {}  // takes over a reference the caller had
    Ref(const Ref& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    Ref& operator=(Ref other) {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() {
        if (p_) p_->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() {
        *this = Ref();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

// Owns a BSTR that a method handed out.
struct OwnedBstr {
    BSTR text = nullptr;
    OwnedBstr() = default;
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(text); }
};

int g_new_messages = 0;

// One event sink: an IDispatch that answers for one event interface and prints each call.
class PrintingSink : public IDispatch {
public:
    PrintingSink(const IID& events, std::string who) : events_(events), who_(std::move(who)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) && !IsEqualIID(riid, events_))
            return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

    // Events pass their long arguments last first.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        std::vector<long> args;
        for (UINT i = params ? params->cArgs : 0; i-- > 0;)
            args.push_back(V_VT(&params->rgvarg[i]) == VT_I4 ? V_I4(&params->rgvarg[i]) : 0);
        auto arg = [&](size_t i) { return i < args.size() ? args[i] : 0L; };
        if (IsEqualIID(events_, DIID_IMXFolderManagerEvents)) {
            static const char* const kNames[] = {"", "folder created", "folder deleted", "folder renamed",
                                                 "folder moved", "unread count changed"};
            if (id >= 1 && id <= 5)
                std::printf("%s: %s: folder %ld\n", who_.c_str(), kNames[id], arg(0));
            else if (id == 6) {
                std::printf("%s: new unread message %ld in folder %ld\n", who_.c_str(), arg(1), arg(0));
                ++g_new_messages;
            }
        } else {
            if (id == 1) std::printf("%s: message %ld added\n", who_.c_str(), arg(0));
            if (id == 2) std::printf("%s: message %ld deleted\n", who_.c_str(), arg(0));
            if (id == 3) std::printf("%s: the folder was deleted\n", who_.c_str());
        }
        std::fflush(stdout);
        return S_OK;
    }

private:
    virtual ~PrintingSink() = default;
    IID events_;
    std::string who_;
    volatile LONG refs_ = 1;
};

// A sink connected to one object; unadvised when the connection goes.
struct Connection {
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Ref<IConnectionPoint> point;
    DWORD cookie = 0;
    ~Connection() {
        if (point && cookie) point->Unadvise(cookie);
    }
};

bool Connect(IUnknown* source, const IID& events, const std::string& who, Connection* out) {
    Ref<IConnectionPointContainer> container;
    if (FAILED(source->QueryInterface(IID_IConnectionPointContainer, container.put_void()))) return false;
    if (FAILED(container->FindConnectionPoint(events, out->point.put()))) return false;
    Ref<IDispatch> sink(new PrintingSink(events, who));
    return SUCCEEDED(out->point->Advise(sink.get(), &out->cookie));
}

std::string NameOf(IMXFolder* folder) {
    OwnedBstr name;
    if (FAILED(folder->Name(&name.text)) || !name.text) return "?";
    int n = WideCharToMultiByte(CP_ACP, 0, name.text, -1, nullptr, 0, nullptr, nullptr);
    std::string text(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, name.text, -1, &text[0], n, nullptr, nullptr);
    return text;
}

int Usage() {
    std::fputs("usage: listener [--seconds N] [--exit-after-new N]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long seconds = -1, exit_after_new = -1;
    for (int i = 1; i < argc; ++i) {
        if (i + 1 < argc && !std::strcmp(argv[i], "--seconds")) seconds = std::atol(argv[++i]);
        else if (i + 1 < argc && !std::strcmp(argv[i], "--exit-after-new")) exit_after_new = std::atol(argv[++i]);
        else return Usage();
    }
    if (FAILED(CoInitialize(nullptr))) return 1;
    int status = 0;
    {
        Ref<IMXFolderManager> manager;
        HRESULT hr = CoCreateInstance(CLSID_MXFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_IMXFolderManager,
                                      manager.put_void());
        if (FAILED(hr)) {
            std::fprintf(stderr, "listener: cannot create PELKARY.MXFolderManager (0x%08lX): register pelkary.dll first\n",
                         static_cast<unsigned long>(hr));
            CoUninitialize();
            return 1;
        }
        std::vector<std::unique_ptr<Connection>> connections;
        connections.push_back(std::make_unique<Connection>());
        Connect(manager.get(), DIID_IMXFolderManagerEvents, "manager", connections.back().get());

        // Folder events need the folder object alive: keep one per folder.
        std::vector<Ref<IMXFolder>> folders;
        ::MXFolder* raw = nullptr;
        for (manager->GetFirstFolder(&raw); raw; manager->GetNextFolder(&raw)) {
            Ref<IMXFolder> folder(reinterpret_cast<IMXFolder*>(raw));
            raw = nullptr;
            long is_null = 1, id = 0;
            folder->IsNull(&is_null);
            folder->GetID(&id);
            if (is_null) continue;
            std::string who = "folder " + std::to_string(id) + " (" + NameOf(folder.get()) + ")";
            connections.push_back(std::make_unique<Connection>());
            Connect(folder.get(), DIID_IMXFolderEvents, who, connections.back().get());
            folders.push_back(folder);
        }
        std::printf("listening to the manager and %zu folders\n", folders.size());
        std::fflush(stdout);

        const DWORD start = GetTickCount();
        for (;;) {
            if (seconds >= 0 && GetTickCount() - start >= static_cast<DWORD>(seconds) * 1000) break;
            if (exit_after_new >= 0 && g_new_messages >= exit_after_new) break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (exit_after_new >= 0 && g_new_messages < exit_after_new) status = 3;
        connections.clear();
    }
    CoUninitialize();
    return status;
}
