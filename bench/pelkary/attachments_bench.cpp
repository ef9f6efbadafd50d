// attachments_bench: every attachment of the Inbox saved to files through pelkary
// (GetFirstMessage/GetNextMessage, GetFirstAttachment/GetNextAttachment, SaveBodyToFile with the
// body's own file name), beside the MIME engine alone parsing the same sources, decoding the same
// attachments and writing the same files, in the same run.
//
//   scripts/wine.sh run $PELKARY_BUILD/bin/attachments_bench.exe [messages (1000)] [KB per attachment (32)]
//
// Needs the three DLLs registered. The store and the files live in a temporary folder that is
// removed at the end.
// The engine first: winuser.h maps GetProp to GetPropW, which must not reach its declaration.
#include "mimeengine/message.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_script.h"
#include "comsupport/holders.h"
#include "pelkary.h"
#include "store_api.h"

#undef GetProp

using pelkary::com_ptr;
using pelkary::unique_bstr;

namespace {

using Clock = std::chrono::steady_clock;

void Check(const char* what, HRESULT hr) {
    if (FAILED(hr)) {
        std::fprintf(stderr, "attachments_bench: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
        std::exit(1);
    }
}

std::string Base64Lines(const std::string& bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t line = 0;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned a = static_cast<unsigned char>(bytes[i]);
        const unsigned b = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const unsigned c = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const unsigned v = (a << 16) | (b << 8) | c;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
        if ((line += 4) == 76) {
            out += "\r\n";
            line = 0;
        }
    }
    if (line) out += "\r\n";
    return out;
}

// A message with a text part and two base64 attachments of `size` deterministic bytes each.
std::string MakeMessage(int n, size_t size, unsigned* seed) {
    auto bytes = [&] {
        std::string b(size, '\0');
        for (char& c : b) c = static_cast<char>((*seed = *seed * 1103515245u + 12345u) >> 16);
        return b;
    };
    const std::string boundary = "=_bench_" + std::to_string(n);
    std::string m = "From: Bench <bench@example.org>\r\nTo: you@example.net\r\nSubject: attachments " +
                    std::to_string(n) + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" +
                    boundary + "\"\r\n\r\n--" + boundary +
                    "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nTwo files attached.\r\n";
    for (const char* kind : {"a", "b"}) {
        m += "--" + boundary + "\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
             "Content-Disposition: attachment; filename=\"" + std::string(kind) + std::to_string(n) + ".bin\"\r\n\r\n";
        m += Base64Lines(bytes());
    }
    return m + "--" + boundary + "--\r\n";
}

void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE walk = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (walk != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = dir + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(walk, &found));
        FindClose(walk);
    }
    RemoveDirectoryW(dir.c_str());
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

}  // namespace

int main(int argc, char** argv) {
    const int messages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const size_t size = static_cast<size_t>(argc > 2 ? std::max(1, std::atoi(argv[2])) : 32) * 1024;
    Check("CoInitializeEx", CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

    const std::wstring root = pelkary::bench::NewTempDirectory(L"pelkary-attachments-bench-");
    const std::wstring store_dir = root + L"\\store", through_pelkary = root + L"\\pelkary", through_engine = root + L"\\engine";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(through_pelkary.c_str(), nullptr);
    CreateDirectoryW(through_engine.c_str(), nullptr);
    SetEnvironmentVariableW(L"MAILSTORE_DIR", store_dir.c_str());

    std::vector<std::string> sources;
    unsigned seed = 20261205;
    for (int i = 0; i < messages; ++i) sources.push_back(MakeMessage(i, size, &seed));
    {
        com_ptr<IStoreNamespace> store;
        Check("CoCreateInstance(StoreNamespace)",
              CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_INPROC_SERVER, IID_IStoreNamespace, store.put_void()));
        Check("Initialize", store->Initialize(nullptr, 1));
        com_ptr<IStoreFolder> inbox;
        Check("OpenSpecialFolder", store->OpenSpecialFolder(FOLDER_INBOX, 0, inbox.put()));
        for (const std::string& source : sources) {
            com_ptr<IStream> stream;
            MESSAGEID id = 0;
            Check("CreateStream", inbox->CreateStream(nullptr, 0, stream.put(), &id));
            ULONG written = 0;
            Check("Write", stream->Write(source.data(), static_cast<ULONG>(source.size()), &written));
            Check("CommitStream", inbox->CommitStream(nullptr, 0, MSG_UNREAD, stream.get(), id, nullptr));
        }
    }

    // Through pelkary, as a client does it.
    long saved = 0;
    Clock::time_point start = Clock::now();
    {
        com_ptr<IMXFolderManager> manager;
        Check("CoCreateInstance(MXFolderManager)", CoCreateInstance(CLSID_MXFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                                                     IID_IMXFolderManager, manager.put_void()));
        com_ptr<IMXFolder> inbox;
        Check("GetInboxFolder", manager->GetInboxFolder(reinterpret_cast<::MXFolder**>(inbox.put())));
        unique_bstr dir(SysAllocString(through_pelkary.c_str()));
        com_ptr<IMXMessage> message;
        Check("GetFirstMessage", inbox->GetFirstMessage(reinterpret_cast<::MXMessage**>(message.put())));
        while (message) {
            long handle = 0, ok = 0;
            Check("GetFirstAttachment", message->GetFirstAttachment(&handle));
            while (handle != 0) {
                Check("SaveBodyToFile", message->SaveBodyToFile(handle, dir.get(), 1, &ok));
                saved += ok;
                Check("GetNextAttachment", message->GetNextAttachment(&handle));
            }
            Check("GetNextMessage", inbox->GetNextMessage(reinterpret_cast<::MXMessage**>(message.put())));
        }
    }
    const double pelkary_seconds = Seconds(start);

    // The engine alone on the same sources: parse, decode every attachment, write it to a file.
    long written_files = 0;
    start = Clock::now();
    for (const std::string& source : sources) {
        mimeengine::Message m;
        m.Load(source);
        for (mimeengine::BodyHandle h : m.GetAttachments()) {
            if (!m.IsAttachment(h)) continue;
            std::string name, data;
            if (m.GetProp(h, "par:content-disposition:filename", &name) != mimeengine::Status::kOk) continue;
            if (m.GetContent(h, &data) != mimeengine::Status::kOk) continue;
            const std::wstring path = through_engine + L"\\" + std::wstring(name.begin(), name.end());
            pelkary::unique_file file(_wfopen(path.c_str(), L"wb"));
            if (file && std::fwrite(data.data(), 1, data.size(), file.get()) == data.size()) ++written_files;
        }
    }
    const double engine_seconds = Seconds(start);

    const double megabytes = 2.0 * messages * static_cast<double>(size) / (1024 * 1024);
    std::printf("%d messages, %ld attachments saved (%.1f MB decoded)\n", messages, saved, megabytes);
    std::printf("  MIME engine alone (baseline): %8.2f s  %8.1f us per message  %7.1f MB/s  (%ld files)\n",
                engine_seconds, engine_seconds * 1e6 / messages, megabytes / engine_seconds, written_files);
    std::printf("  through pelkary:              %8.2f s  %8.1f us per message  %7.1f MB/s  (%.1fx the engine)\n",
                pelkary_seconds, pelkary_seconds * 1e6 / messages, megabytes / pelkary_seconds,
                pelkary_seconds / engine_seconds);
    RemoveTree(root);
    CoUninitialize();
    return saved == 2L * messages ? 0 : 1;
}
