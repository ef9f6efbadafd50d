// events_bench: what the event layer costs, each figure beside the store's own work in the same
// run.
//
//   latency   a second process (this program, --deliver) commits unread messages into the Inbox one
//             at a time; this process times each from the commit to OnNewMessage on its folder
//             manager, beside the arrival of the store's own raw notification (WM_NEWMSGS) at a
//             plain window of this process. Median and 99th percentile.
//   scan      a store of F folders and M messages: the time until the first folder manager
//             returns, the time until its session's scan of every folder's last message id has
//             ended, beside the store's raw enumeration of the same messages.
//
// Usage (DLLs registered): events_bench.exe [--messages N (1000)] [--folders F (100)]
//                                            [--store-messages M (100000)]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_script.h"
#include "comsupport/holders.h"
#include "pelkary.h"
#include "store_api.h"

using pelkary::com_ptr;

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

[[noreturn]] void Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "events_bench: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    std::exit(1);
}
void Check(const char* what, HRESULT hr) {
    if (FAILED(hr)) Fail(what, hr);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::wstring MakeStoreDirectory(const wchar_t* name) {
    std::wstring dir = pelkary::bench::NewTempDirectory(name);
    SetEnvironmentVariableW(L"MAILSTORE_DIR", dir.c_str());
    return dir;
}

void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = dir + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

com_ptr<IStoreNamespace> OpenStore() {
    com_ptr<IStoreNamespace> store;
    Check("creating the store namespace",
          CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace, store.put_void()));
    Check("Initialize", store->Initialize(nullptr, 1));
    return store;
}

void Commit(IStoreFolder* folder, const std::string& source, DWORD flags) {
    com_ptr<IStream> stream;
    MESSAGEID id = 0;
    Check("CreateStream", folder->CreateStream(nullptr, 0, stream.put(), &id));
    ULONG written = 0;
    Check("Write", stream->Write(source.data(), static_cast<ULONG>(source.size()), &written));
    Check("CommitStream", folder->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr));
}

std::string Source(int i) {
    return "From: bench@example.com\r\nTo: reader@example.com\r\nSubject: message " + std::to_string(i) +
           "\r\n\r\nBody " + std::to_string(i) + "\r\n";
}

// --- latency -----------------------------------------------------------------------------------

const wchar_t kAckEvent[] = L"Local\\pelkary-events-bench-ack";
const wchar_t kReadyEvent[] = L"Local\\pelkary-events-bench-ready";

// The delivering process: commits one unread message, writes its commit time, waits for the
// listener's acknowledgement, and so on.
int Deliver(int count, const char* times_file) {
    com_ptr<IStoreNamespace> store = OpenStore();
    com_ptr<IStoreFolder> inbox;
    Check("OpenSpecialFolder", store->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put()));
    pelkary::unique_handle ack(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAckEvent));
    pelkary::unique_handle ready(OpenEventW(SYNCHRONIZE, FALSE, kReadyEvent));
    if (!ack || !ready) Fail("opening the events", E_FAIL);
    WaitForSingleObject(ready.get(), INFINITE);
    pelkary::unique_file out(std::fopen(times_file, "w"));
    for (int i = 0; i < count; ++i) {
        const std::string source = Source(i);
        double before = Now();
        Commit(inbox.get(), source, MSG_UNREAD);
        std::fprintf(out.get(), "%.9f\n", before);
        if (WaitForSingleObject(ack.get(), 10000) != WAIT_OBJECT_0) Fail("waiting for the listener", E_FAIL);
    }
    return 0;
}

// Records arrival times of manager events 6 (OnNewMessage).
class TimingSink : public IDispatch {
public:
    std::vector<double> arrivals;
    HANDLE ack = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
            !IsEqualIID(riid, DIID_IMXFolderManagerEvents))
            return E_NOINTERFACE;
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id == 6) {
            arrivals.push_back(Now());
            SetEvent(ack);
        }
        return S_OK;
    }
};

std::vector<double> g_raw_arrivals;

LRESULT CALLBACK RawProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NEWMSGS) g_raw_arrivals.push_back(Now());
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Percentiles(const char* what, std::vector<double> ms) {
    if (ms.empty()) {
        std::printf("  %-34s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("  %-34s median %7.2f ms   p99 %7.2f ms   (%zu samples)\n", what, ms[ms.size() / 2],
                ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.size());
}

void Latency(int count) {
    std::wstring dir = MakeStoreDirectory(L"pelkary-events-bench-");
    {
        pelkary::unique_handle ack(CreateEventW(nullptr, FALSE, FALSE, kAckEvent));
        pelkary::unique_handle ready(CreateEventW(nullptr, TRUE, FALSE, kReadyEvent));
        TimingSink sink;
        sink.ack = ack.get();

        com_ptr<IMXFolderManager> manager;
        Check("creating the folder manager", CoCreateInstance(CLSID_MXFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                                              IID_IMXFolderManager, manager.put_void()));
        com_ptr<IConnectionPointContainer> container;
        Check("IConnectionPointContainer", manager->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
        com_ptr<IConnectionPoint> point;
        Check("FindConnectionPoint", container->FindConnectionPoint(DIID_IMXFolderManagerEvents, point.put()));
        DWORD cookie = 0;
        Check("Advise", point->Advise(&sink, &cookie));

        // The baseline: a plain window of this thread registered with the Inbox.
        WNDCLASSW window_class{};
        window_class.lpfnWndProc = RawProc;
        window_class.lpszClassName = L"events bench raw";
        RegisterClassW(&window_class);
        pelkary::unique_hwnd raw(CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                                 nullptr, nullptr, nullptr));
        com_ptr<IStoreNamespace> store = OpenStore();
        com_ptr<IStoreFolder> inbox;
        Check("OpenSpecialFolder", store->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put()));
        inbox->RegisterNotification(0, raw.get());
        Sleep(500);  // the session's scan of the empty store
        Pump();

        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        char times[MAX_PATH];
        GetTempPathA(MAX_PATH, times);
        std::strcat(times, "pelkary-events-bench-times.txt");
        std::string command = std::string("\"") + self + "\" --deliver " + std::to_string(count) + " \"" + times + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
            Fail("starting the delivering process", HRESULT_FROM_WIN32(GetLastError()));
        pelkary::unique_handle process(child.hProcess), thread(child.hThread);
        SetEvent(ready.get());
        while (WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            MsgWaitForMultipleObjects(1, &child.hProcess, FALSE, 50, QS_ALLINPUT);
            Pump();
        }
        Pump();

        std::vector<double> commits;
        if (pelkary::unique_file in{std::fopen(times, "r")}) {
            double t;
            while (std::fscanf(in.get(), "%lf", &t) == 1) commits.push_back(t);
        }
        DeleteFileA(times);
        std::vector<double> pelkary_ms, raw_ms;
        for (size_t i = 0; i < commits.size(); ++i) {
            if (i < sink.arrivals.size()) pelkary_ms.push_back((sink.arrivals[i] - commits[i]) * 1000);
            if (i < g_raw_arrivals.size()) raw_ms.push_back((g_raw_arrivals[i] - commits[i]) * 1000);
        }
        std::printf("commit in another process to event here, %d messages:\n", count);
        Percentiles("store's WM_NEWMSGS (baseline)", raw_ms);
        Percentiles("pelkary OnNewMessage", pelkary_ms);
        inbox->UnregisterNotification(0, raw.get());
        point->Unadvise(cookie);
    }
    RemoveTree(dir);
}

// --- scan --------------------------------------------------------------------------------------

// Records when the first manager event of any kind arrives.
class FirstEventSink : public TimingSink {
public:
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        arrivals.push_back(Now());
        return S_OK;
    }
};

// The session's store sink window of this thread (top-level, or message-only without a display).
HWND StoreSinkWindow() {
    for (HWND parent : {HWND(nullptr), HWND_MESSAGE}) {
        for (HWND hwnd = FindWindowExA(parent, nullptr, "Store sink", "NUVAK"); hwnd;
             hwnd = FindWindowExA(parent, hwnd, "Store sink", "NUVAK")) {
            if (GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) return hwnd;
        }
    }
    return nullptr;
}

void Scan(int folders, int messages) {
    std::wstring dir = MakeStoreDirectory(L"pelkary-events-scan-");
    {
        com_ptr<IStoreNamespace> store = OpenStore();
        std::vector<com_ptr<IStoreFolder>> made;
        std::vector<STOREFOLDERID> ids;
        for (int f = 0; f < folders; ++f) {
            STOREFOLDERID id = 0;
            Check("CreateFolder", store->CreateFolder(0, ("folder " + std::to_string(f)).c_str(), 0, &id));
            com_ptr<IStoreFolder> folder;
            Check("OpenFolder", store->OpenFolder(id, 0, folder.put()));
            made.push_back(folder);
            ids.push_back(id);
        }
        double fill = Now();
        for (int m = 0; m < messages; ++m) Commit(made[m % folders].get(), Source(m), 0);
        std::printf("store of %d folders and %d messages filled in %.1f s\n", folders, messages, Now() - fill);

        // Baseline: the store's raw enumeration of every message of every folder.
        double start = Now();
        long seen = 0;
        for (auto& folder : made) {
            MESSAGEPROPS props{};
            props.cbSize = sizeof(props);
            HENUMSTORE walk = nullptr;
            HRESULT hr = folder->GetFirstMessage(MSGPROPS_FAST, 0, MESSAGEID_FIRST, &props, &walk);
            while (hr == S_OK) {
                ++seen;
                folder->FreeMessageProps(&props);
                props = MESSAGEPROPS{};
                props.cbSize = sizeof(props);
                hr = folder->GetNextMessage(walk, MSGPROPS_FAST, &props);
            }
            if (walk) folder->GetMessageClose(walk);
        }
        double raw = Now() - start;

        // pelkary: the first manager returns at once; its session's scan runs behind it. A change
        // record is dispatched only after the scan, so the first one marks the scan's end.
        start = Now();
        com_ptr<IMXFolderManager> manager;
        Check("creating the folder manager", CoCreateInstance(CLSID_MXFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                                              IID_IMXFolderManager, manager.put_void()));
        double first_object = Now() - start;
        FirstEventSink sink;
        com_ptr<IConnectionPointContainer> container;
        manager->QueryInterface(IID_IConnectionPointContainer, container.put_void());
        com_ptr<IConnectionPoint> point;
        Check("FindConnectionPoint", container->FindConnectionPoint(DIID_IMXFolderManagerEvents, point.put()));
        DWORD cookie = 0;
        Check("Advise", point->Advise(&sink, &cookie));
        // A folder change is dispatched only after the scan: its event marks the scan's end.
        auto* record = static_cast<FOLDERNOTIFYEX*>(CoTaskMemAlloc(sizeof(FOLDERNOTIFYEX)));
        record->type = UNREAD_CHANGE;
        record->idFolder2 = 0;
        record->idFolder = 0x7FFF0000;
        if (!PostMessageA(StoreSinkWindow(), WM_FOLDERNOTIFY, 0, reinterpret_cast<LPARAM>(record)))
            Fail("posting to the store sink window", E_FAIL);
        while (sink.arrivals.empty() && Now() - start < 600) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            Pump();
        }
        double scanned = sink.arrivals.empty() ? -1 : sink.arrivals[0] - start;
        point->Unadvise(cookie);

        std::printf("  %-34s %8.1f ms   (%ld messages)\n", "store's raw enumeration (baseline)", raw * 1000, seen);
        std::printf("  %-34s %8.1f ms\n", "first folder manager returned", first_object * 1000);
        std::printf("  %-34s %8.1f ms\n", "scan over (first event dispatched)", scanned * 1000);
        manager = nullptr;
        made.clear();
    }
    RemoveTree(dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && !std::strcmp(argv[1], "--deliver")) {
        CoInitialize(nullptr);
        int status = Deliver(std::atoi(argv[2]), argv[3]);
        CoUninitialize();
        return status;
    }
    int messages = 1000, folders = 100, store_messages = 100000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--messages")) messages = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--folders")) folders = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--store-messages")) store_messages = std::atoi(argv[i + 1]);
    }
    CoInitialize(nullptr);
    Latency(messages);
    Scan(folders, store_messages);
    CoUninitialize();
    return 0;
}
