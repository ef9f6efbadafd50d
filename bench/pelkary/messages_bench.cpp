// messages_bench: what the message object costs beside the store's own interfaces, in one run.
//
//   enumeration  N messages of the Inbox walked with IMXFolder::GetFirstMessage/GetNextMessage,
//                reading GetSubject and GetState early-bound and from VBScript (late-bound,
//                messages_bench.vbs in Wine's cscript), beside the store's own
//                GetFirstMessage/GetNextMessage reading the same two fields from its records; then
//                the same binding and reads on message objects made without the COM runtime, and
//                the single steps (creation by class id, folder open, property record), so the
//                figures show what the object adds and what the runtime's creation costs;
//   source       one large message read with GetSource(65536) until the empty string, beside a
//                raw read of the same bytes from the store's source stream in 65,536-byte pieces,
//                the system's own conversion, and a bare new BSTR of a piece (the floor of any
//                method that returns one).
// Usage (DLLs registered): messages_bench.exe [messages = 100000] [megabytes = 100] [piece = 65536]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_script.h"
#include "comsupport/holders.h"
#include "messages/mx_message.h"
#include "mime_api.h"
#include "pelkary.h"
#include "store_api.h"

using pelkary::com_ptr;
using pelkary::bench::Check;
using pelkary::bench::SecondsOf;
using pelkary::bench::UseFreshStore;
using pelkary::unique_bstr;

namespace {

MESSAGEID StoreMessage(IStoreFolder* folder, const std::string& source, DWORD flags) {
    com_ptr<IStream> stream;
    MESSAGEID id = MESSAGEID_INVALID;
    Check("CreateStream", folder->CreateStream(nullptr, 0, stream.put(), &id));
    ULONG written = 0;
    Check("Write", stream->Write(source.data(), static_cast<ULONG>(source.size()), &written));
    Check("CommitStream", folder->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr));
    return id;
}

long WalkStore(IStoreFolder* folder, size_t* checksum, std::vector<MESSAGEID>* ids = nullptr) {
    long count = 0;
    MESSAGEPROPS props{};
    props.cbSize = sizeof props;
    HENUMSTORE walk = nullptr;
    HRESULT hr = folder->GetFirstMessage(0, 0, MESSAGEID_FIRST, &props, &walk);
    while (hr == S_OK) {
        ++count;
        if (ids) ids->push_back(props.dwMessageId);
        *checksum += (props.pszSubject ? std::string(props.pszSubject).size() : 0) + props.dwState;
        folder->FreeMessageProps(&props);
        props.cbSize = sizeof props;
        hr = folder->GetNextMessage(walk, 0, &props);
    }
    if (walk) folder->GetMessageClose(walk);
    return count;
}

long WalkAutomation(IMXFolder* folder, size_t* checksum) {
    long count = 0;
    com_ptr<IMXMessage> message;
    Check("GetFirstMessage", folder->GetFirstMessage(reinterpret_cast<::MXMessage**>(message.put())));
    while (message) {
        ++count;
        unique_bstr subject;
        long state = 0;
        Check("GetSubject", message->GetSubject(subject.put()));
        Check("GetState", message->GetState(&state));
        *checksum += subject.length() + static_cast<size_t>(state);
        Check("GetNextMessage", folder->GetNextMessage(reinterpret_cast<::MXMessage**>(message.put())));
    }
    return count;
}

// Runs the late-bound half with cscript in this process's environment (same store); its line.
std::string RunScript() {
    return pelkary::bench::RunCscript(PELKARY_MESSAGES_BENCH_SCRIPT, L"");
}

}  // namespace

int main(int argc, char** argv) {
    const long messages = argc > 1 ? std::max(1L, std::atol(argv[1])) : 100000;
    const long megabytes = argc > 2 ? std::max(1L, std::atol(argv[2])) : 100;
    const long piece = argc > 3 ? std::max(1L, std::atol(argv[3])) : 65536;
    Check("CoInitializeEx", CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    UseFreshStore(L"pelkary-messages-bench-");
    {
        com_ptr<IStoreNamespace> store = pelkary::bench::OpenStore();
        com_ptr<IStoreFolder> inbox, drafts;
        Check("OpenSpecialFolder(Inbox)", store->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put()));
        Check("OpenSpecialFolder(Drafts)", store->OpenSpecialFolder(FOLDER_DRAFT, 0, drafts.put()));

        double fill = SecondsOf([&] {
            for (long i = 0; i < messages; ++i)
                StoreMessage(inbox.get(),
                             "From: Sender " + std::to_string(i % 97) + " <s@example.org>\r\nSubject: Message " +
                                 std::to_string(i) + "\r\n\r\nBody of message " + std::to_string(i) + ".\r\n",
                             i % 3 ? 0x2 : 0);
        });
        std::printf("store filled with %ld messages in %.1f s\n", messages, fill);

        com_ptr<IMXFolderManager> manager;
        Check("creating PELKARY.MXFolderManager",
              CoCreateInstance(CLSID_MXFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_IMXFolderManager,
                               manager.put_void()));
        com_ptr<IMXFolder> folder;
        Check("GetInboxFolder", manager->GetInboxFolder(reinterpret_cast<::MXFolder**>(folder.put())));

        size_t store_sum = 0, automation_sum = 0;
        long store_count = 0, automation_count = 0;
        double store_seconds = SecondsOf([&] { store_count = WalkStore(inbox.get(), &store_sum); });
        double automation_seconds = SecondsOf([&] { automation_count = WalkAutomation(folder.get(), &automation_sum); });
        std::printf("enumeration of %ld / %ld messages (subject and state):\n", store_count, automation_count);
        std::printf("  store interfaces (baseline): %8.2f us per message\n", store_seconds * 1e6 / store_count);
        std::printf("  C++ early-bound:             %8.2f us per message (%.1fx the store; target at most 3x)\n",
                    automation_seconds * 1e6 / automation_count,
                    (automation_seconds / automation_count) / (store_seconds / store_count));

        long script_count = 0;
        double script_seconds = 0;
        std::string script_line = RunScript();
        if (std::sscanf(script_line.c_str(), "%ld %lf", &script_count, &script_seconds) == 2 && script_count > 0)
            std::printf("  VBScript late-bound:         %8.2f us per message (%.1fx the store)\n",
                        script_seconds * 1e6 / script_count,
                        (script_seconds / script_count) / (store_seconds / store_count));
        else
            std::printf("  VBScript late-bound:         not measured (%s)\n", script_line.c_str());
        // Where the time per message goes.
        constexpr int kRepeats = 300;
        FOLDERPROPS inbox_props{};
        inbox_props.cbSize = sizeof inbox_props;
        Check("GetFolderProps", inbox->GetFolderProps(0, &inbox_props));
        double create_seconds = SecondsOf([&] {
            for (int i = 0; i < kRepeats; ++i) {
                com_ptr<IMXMessage> m;
                Check("CoCreateInstance(MXMessage)", CoCreateInstance(CLSID_MXMessage, nullptr, CLSCTX_INPROC_SERVER,
                                                                      IID_IMXMessage, m.put_void()));
            }
        }) / kRepeats;
        double allocator_seconds = SecondsOf([&] {
            for (int i = 0; i < kRepeats; ++i) {
                com_ptr<IUnknown> a;
                Check("CoCreateInstance(IMimeAllocator)", CoCreateInstance(CLSID_IMimeAllocator, nullptr,
                                                                           CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                                           a.put_void()));
            }
        }) / kRepeats;
        double open_seconds = SecondsOf([&] {
            for (int i = 0; i < kRepeats; ++i) {
                com_ptr<IStoreFolder> f;
                Check("OpenFolder", store->OpenFolder(inbox_props.dwFolderId, 0, f.put()));
            }
        }) / kRepeats;
        double props_seconds = SecondsOf([&] {
            for (int i = 0; i < kRepeats; ++i) {
                MESSAGEPROPS props{};
                props.cbSize = sizeof props;
                Check("GetMessageProps", inbox->GetMessageProps(static_cast<MESSAGEID>(1 + i % messages), 0, &props));
                inbox->FreeMessageProps(&props);
            }
        }) / kRepeats;
        // The same binding and reads on objects made directly, without the runtime's creation by
        // class id: what the message object itself adds per message.
        std::vector<MESSAGEID> ids;
        size_t ids_sum = 0;
        WalkStore(inbox.get(), &ids_sum, &ids);
        size_t direct_sum = 0;
        double direct_seconds = SecondsOf([&] {
            for (MESSAGEID id : ids) {
                auto* impl = new pelkary::MXMessage();
                com_ptr<IMXMessage> m(impl);
                impl->OpenFromStore(static_cast<long>(inbox_props.dwFolderId), id);
                unique_bstr subject;
                long state = 0;
                Check("GetSubject", m->GetSubject(subject.put()));
                Check("GetState", m->GetState(&state));
                direct_sum += subject.length() + static_cast<size_t>(state);
            }
        });
        if (direct_sum != automation_sum) std::printf("  (checksums differ: %zu / %zu)\n", direct_sum, automation_sum);
        std::printf("  message object without creation by class id: %.2f us per message (%.1fx the store)\n",
                    direct_seconds * 1e6 / ids.size(),
                    (direct_seconds / ids.size()) / (store_seconds / store_count));
        std::printf("  of which: new MIME allocator %.1f us\n", allocator_seconds * 1e6);
        std::printf("  of which: new message object %.1f us, store OpenFolder %.1f us, GetMessageProps %.1f us\n",
                    create_seconds * 1e6, open_seconds * 1e6, props_seconds * 1e6);

        // One large message: lines of 76 characters, like base64 text.
        std::string big = "Subject: large\r\n\r\n";
        const size_t bytes = static_cast<size_t>(megabytes) * 1024 * 1024;
        std::string line(76, 'Q');
        line += "\r\n";
        while (big.size() < bytes) big += line;
        MESSAGEID big_id = StoreMessage(drafts.get(), big, 0);
        big.clear();
        big.shrink_to_fit();

        com_ptr<IMXMessage> message;
        com_ptr<IMXFolder> draft_folder;
        Check("GetDraftFolder", manager->GetDraftFolder(reinterpret_cast<::MXFolder**>(draft_folder.put())));
        Check("GetMessage", draft_folder->GetMessage(static_cast<long>(big_id), reinterpret_cast<::MXMessage**>(message.put())));

        size_t raw_bytes = 0, converted_chars = 0;
        std::string buffer(static_cast<size_t>(piece), '\0');
        double raw_seconds = SecondsOf([&] {
            com_ptr<IStream> stream;
            Check("OpenMessage(IStream)", drafts->OpenMessage(big_id, IID_IStream, stream.put_void()));
            ULONG got = 0;
            while (SUCCEEDED(stream->Read(buffer.data(), static_cast<ULONG>(piece), &got)) && got > 0) raw_bytes += got;
        });
        double source_seconds = SecondsOf([&] {
            for (;;) {
                unique_bstr text;
                Check("GetSource", message->GetSource(piece, text.put()));
                if (text.length() == 0) break;
                converted_chars += text.length();
            }
        });
        // A fresh BSTR of a whole piece, allocated, touched and freed: the floor of any method that
        // returns a new string of that size.
        double allocation_seconds = SecondsOf([&] {
            for (size_t done = 0; done < raw_bytes; done += static_cast<size_t>(piece)) {
                unique_bstr text(SysAllocStringLen(nullptr, static_cast<UINT>(piece)));
                for (long k = 0; k < piece; k += 2048) text.get()[k] = L'Q';
            }
        });
        // The system's own conversion into a new BSTR per piece, on bytes already in memory.
        std::string bytes_in_memory(static_cast<size_t>(piece), 'Q');
        double convert_seconds = SecondsOf([&] {
            for (size_t done = 0; done < raw_bytes; done += bytes_in_memory.size()) {
                const int length = static_cast<int>(strnlen(bytes_in_memory.data(), bytes_in_memory.size()));
                unique_bstr text(SysAllocStringLen(nullptr, static_cast<UINT>(length)));
                MultiByteToWideChar(CP_ACP, 0, bytes_in_memory.data(), length, text.get(), length);
            }
        });
        const double mb = raw_bytes / 1048576.0;
        std::printf("source of a %.0f MB message in %ld-byte pieces (%zu bytes, %zu characters):\n", mb, piece,
                    raw_bytes, converted_chars);
        std::printf("  raw stream read (baseline):  %8.1f MB/s\n", mb / raw_seconds);
        std::printf("  GetSource(piece):            %8.1f MB/s (%.2f of the raw read; target at least 0.33)\n",
                    mb / source_seconds, raw_seconds / source_seconds);
        std::printf("  MultiByteToWideChar into a new BSTR: %.1f MB/s\n", mb / convert_seconds);
        std::printf("  new BSTR of a piece alone:   %8.1f MB/s (allocated, touched and freed; %.1f us each)\n",
                    mb / allocation_seconds, allocation_seconds * 1e6 * piece / raw_bytes);
    }
    CoUninitialize();
    return 0;
}
