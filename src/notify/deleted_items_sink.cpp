#include "notify/deleted_items_sink.h"

#include <cstring>

#include "comsupport/com_ptr.h"
#include "comsupport/unique_any.h"
#include "comsupport/unique_propvariant.h"
#include "mime_api.h"
#include "notify/deletion_seal.h"
#include "notify/sink_window.h"

namespace pelkary {

namespace {

constexpr char kClassName[] = "NUVAK Outbox sink";
constexpr char kTitle[] = "Folder";
constexpr char kDeletionHeader[] = "X_NUVAK_DELETED";

// Acts at once, inside the store's notification: no client code runs here.
void PurgeIfMarked(IStoreFolder* folder, MESSAGEID id) noexcept {
    com_ptr<IMimeMessage> message;
    if (FAILED(folder->OpenMessage(id, IID_IMimeMessage, message.put_void())) || !message) return;
    unique_propvariant value;
    value.vt = VT_LPSTR;
    HRESULT hr = message->GetBodyProp(HBODY_ROOT, kDeletionHeader, 0, &value);
    if (hr != S_OK || value.vt != VT_LPSTR || !IsDeletionMark(value.pszVal)) return;
    unique_propvariant seal;
    seal.vt = VT_LPSTR;
    if (message->GetBodyProp(HBODY_ROOT, kDeletionSealHeader, 0, &seal) != S_OK || seal.vt != VT_LPSTR ||
        !RedeemDeletionSeal(seal.pszVal))
        return;  // a mark that this system's permanent delete did not write: the message stays
    message = nullptr;  // the store may refuse to delete a message that is still open
    MESSAGEID ids[1] = {id};
    MESSAGEIDLIST list{};
    list.cbSize = sizeof(list);
    list.cMsgs = 1;
    list.prgdwMsgId = ids;
    folder->DeleteMessages(&list, 0, nullptr);
}

LRESULT CALLBACK DeletedItemsSinkProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NEWMSGS) {
        if (auto* folder = reinterpret_cast<IStoreFolder*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)))
            PurgeIfMarked(folder, static_cast<MESSAGEID>(wparam));
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

}  // namespace

bool IsDeletionMark(const char* value) noexcept { return value && std::strcmp(value, "True") == 0; }

unique_hwnd CreateDeletedItemsSinkWindow(IStoreFolder* folder) noexcept {
    unique_hwnd window = CreateSinkWindow(kClassName, kTitle, DeletedItemsSinkProc);
    if (window) SetWindowLongPtrA(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(folder));
    return window;
}

}  // namespace pelkary
