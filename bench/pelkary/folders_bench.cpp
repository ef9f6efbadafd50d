// folders_bench: the cost per folder of walking the whole folder tree through the automation
// layer, beside the same walk made directly on the store's interfaces in the same run.
//
// It fills a fresh store with 1,000 folders (10 top-level folders, 9 children each, 10
// grandchildren each), then times, per folder, reading the name and two counts:
//   store     the store's own enumeration (GetFirstSubFolder/GetNextSubFolder, depth first);
//   C++       IMXFolderManager::GetFirstFolder/GetNextFolder, early-bound;
//   VBScript  the same walk late-bound, in Wine's cscript (folders_bench.vbs), on the same store.
// Usage (DLLs registered): folders_bench.exe [passes]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench_script.h"
#include "comsupport/holders.h"
#include "pelkary.h"
#include "store_api.h"

using pelkary::com_ptr;
using pelkary::unique_bstr;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsOf(const std::function<void()>& work, int passes) {
    Clock::time_point start = Clock::now();
    for (int i = 0; i < passes; ++i) work();
    return std::chrono::duration<double>(Clock::now() - start).count() / passes;
}

[[noreturn]] void Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "folders_bench: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    std::exit(1);
}

void Check(const char* what, HRESULT hr) {
    if (FAILED(hr)) Fail(what, hr);
}

std::wstring MakeStoreDirectory() {
    return pelkary::bench::UseFreshStore(L"pelkary-folders-bench-");
}

STOREFOLDERID MakeFolder(IStoreNamespace* store, STOREFOLDERID parent, const std::string& name) {
    STOREFOLDERID id = 0;
    Check("CreateFolder", store->CreateFolder(parent, name.c_str(), 0, &id));
    return id;
}

// 10 + 10 * 9 + 10 * 9 * 10 = 1,000 folders.
void FillStore(IStoreNamespace* store) {
    for (int a = 0; a < 10; ++a) {
        STOREFOLDERID top = MakeFolder(store, 0, "top " + std::to_string(a));
        for (int b = 0; b < 9; ++b) {
            STOREFOLDERID mid = MakeFolder(store, top, "mid " + std::to_string(b));
            for (int c = 0; c < 10; ++c) MakeFolder(store, mid, "leaf " + std::to_string(c));
        }
    }
}

// The store's own depth-first walk, reading the name and counts each enumeration record carries.
long WalkStore(IStoreNamespace* store, STOREFOLDERID parent, size_t* checksum) {
    long folders = 0;
    FOLDERPROPS props{};
    props.cbSize = sizeof(props);
    HENUMSTORE walk = nullptr;
    HRESULT hr = store->GetFirstSubFolder(parent, &props, &walk);
    while (hr == S_OK) {
        ++folders;
        *checksum += std::string(props.szName).size() + props.cMessage + props.cUnread;
        folders += WalkStore(store, props.dwFolderId, checksum);
        props = FOLDERPROPS{};
        props.cbSize = sizeof(props);
        hr = store->GetNextSubFolder(walk, &props);
    }
    if (walk) store->GetSubFolderClose(walk);
    return folders;
}

long WalkManager(IMXFolderManager* manager, size_t* checksum) {
    long folders = 0;
    com_ptr<IMXFolder> folder;
    Check("GetFirstFolder", manager->GetFirstFolder(reinterpret_cast<::MXFolder**>(folder.put())));
    while (folder) {
        ++folders;
        unique_bstr name;
        long messages = 0, unread = 0;
        Check("Name", folder->Name(name.put()));
        Check("GetMessageCount", folder->GetMessageCount(&messages));
        Check("GetUnreadCount", folder->GetUnreadCount(&unread));
        *checksum += name.length() + static_cast<size_t>(messages + unread);
        Check("GetNextFolder", manager->GetNextFolder(reinterpret_cast<::MXFolder**>(folder.put())));
    }
    return folders;
}

// Runs the script half with cscript in this process's environment (same store); returns its line.
std::string RunScript(int passes) {
    return pelkary::bench::RunCscript(PELKARY_FOLDERS_BENCH_SCRIPT, std::to_wstring(passes));
}

}  // namespace

int main(int argc, char** argv) {
    int passes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Check("CoInitializeEx", CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    std::wstring dir = MakeStoreDirectory();
    {
        com_ptr<IStoreNamespace> store;
        Check("creating the store namespace", CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER,
                                                               IID_IStoreNamespace, store.put_void()));
        Check("Initialize", store->Initialize(nullptr, 1));
        FillStore(store.get());

        com_ptr<IMXFolderManager> manager;
        Check("creating PELKARY.MXFolderManager",
              CoCreateInstance(CLSID_MXFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_IMXFolderManager,
                               manager.put_void()));

        size_t store_sum = 0, manager_sum = 0;
        long store_folders = 0, manager_folders = 0;
        WalkStore(store.get(), 0, &store_sum);  // warm both paths once
        WalkManager(manager.get(), &manager_sum);
        double store_seconds = SecondsOf([&] { store_folders = WalkStore(store.get(), 0, &store_sum); }, passes);
        double manager_seconds =
            SecondsOf([&] { manager_folders = WalkManager(manager.get(), &manager_sum); }, passes);
        // The manager's walk also yields the root, which the store's enumeration does not list.
        std::printf("folders walked: store %ld, automation %ld (root included), %d passes\n", store_folders,
                    manager_folders, passes);
        std::printf("store interfaces (baseline): %8.2f us per folder\n", store_seconds * 1e6 / store_folders);
        std::printf("C++ early-bound:             %8.2f us per folder (%.1fx the store)\n",
                    manager_seconds * 1e6 / manager_folders,
                    (manager_seconds / manager_folders) / (store_seconds / store_folders));
        // Where the time goes: making a folder object through COM, opening one by id, and the
        // three reads on an open folder.
        constexpr int kRepeats = 300;
        double create_seconds = SecondsOf([&] {
            com_ptr<IMXFolder> folder;
            Check("CoCreateInstance(MXFolder)", CoCreateInstance(CLSID_MXFolder, nullptr, CLSCTX_INPROC_SERVER,
                                                                  IID_IMXFolder, folder.put_void()));
        }, kRepeats);
        double open_seconds = SecondsOf([&] {
            com_ptr<IMXFolder> folder;
            Check("GetFolder", manager->GetFolder(1, reinterpret_cast<::MXFolder**>(folder.put())));
        }, kRepeats);
        com_ptr<IMXFolder> inbox;
        Check("GetFolder", manager->GetFolder(1, reinterpret_cast<::MXFolder**>(inbox.put())));
        double read_seconds = SecondsOf([&] {
            unique_bstr name;
            long count = 0;
            Check("Name", inbox->Name(name.put()));
            Check("GetMessageCount", inbox->GetMessageCount(&count));
            Check("GetUnreadCount", inbox->GetUnreadCount(&count));
        }, kRepeats);
        std::printf("  of which: new folder object %.2f us, GetFolder(id) %.2f us, name and two counts %.2f us\n",
                    create_seconds * 1e6, open_seconds * 1e6, read_seconds * 1e6);
        std::string line = RunScript(passes);
        long script_folders = 0;
        double script_seconds = 0;
        if (std::sscanf(line.c_str(), "%ld %lf", &script_folders, &script_seconds) == 2 && script_folders > 0) {
            std::printf("VBScript late-bound:         %8.2f us per folder (%.1fx the store)\n",
                        script_seconds * 1e6 / script_folders,
                        (script_seconds / script_folders) / (store_seconds / store_folders));
        } else {
            std::printf("VBScript late-bound:         not measured (%s)\n", line.c_str());
        }
    }
    CoUninitialize();
    return 0;
}
