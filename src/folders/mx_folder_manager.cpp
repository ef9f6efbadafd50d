#include "folders/mx_folder_manager.h"

#include "comsupport/com_error.h"
#include "comsupport/com_ptr.h"
#include "comsupport/unique_henumstore.h"
#include "folders/message_props.h"
#include "folders/mx_folder.h"
#include "frame/object_creation.h"
#include "notify/manager_sink.h"
#include "notify/store_session.h"

namespace pelkary {

namespace {

bool Yields(HRESULT hr) noexcept { return hr == S_OK; }

// Calls one of a folder's own operations that answer a long, carrying the folder's error object
// on failure.
template <typename Call>
long AskFolder(IMXFolder* folder, Call call) {
    long answer = 0;
    check_callee(folder, call(folder, &answer));
    return answer;
}

}  // namespace

const ClassIdentity MXFolderManager::kIdentity = {L"MXFolderManager", &CLSID_MXFolderManager,
                                                  &IID_IMXFolderManager};

MXFolderManager::MXFolderManager()
    : eventWindow_(CreateManagerSinkWindow(*this)), session_(StoreSession::JoinManager(this)) {}

MXFolderManager::~MXFolderManager() = default;

void MXFolderManager::Teardown() {
    current_ = nullptr;
    // The handles belong to the namespace of the session, which is still there.
    CloseWalkLevels();
    if (StoreSession* session = std::exchange(session_, nullptr)) session->UnregisterManager(this);
    // Unlisted now: no event can be posted to the window any more, and queued ones go with it.
    eventWindow_.reset();
}

IStoreNamespace* MXFolderManager::Namespace() const noexcept {
    return session_ ? session_->namespace_() : nullptr;
}

HRESULT MXFolderManager::ActivateGlobalNotification() { return S_OK; }

// --- Folders by kind and by id ------------------------------------------------------------------

HRESULT MXFolderManager::Special(const wchar_t* method, long type, ::MXFolder** folder) {
    return Guard(method, [&] { HandOut(MXFolder::CreateSpecial(type), folder); }, folder);
}

HRESULT MXFolderManager::GetInboxFolder(::MXFolder **folder) {
    return Special(L"GetInboxFolder", FOLDER_INBOX, folder);
}
HRESULT MXFolderManager::GetOutboxFolder(::MXFolder **folder) {
    return Special(L"GetOutboxFolder", FOLDER_OUTBOX, folder);
}
HRESULT MXFolderManager::GetSentFolder(::MXFolder **folder) {
    return Special(L"GetSentFolder", FOLDER_SENT, folder);
}
HRESULT MXFolderManager::GetDeletedFolder(::MXFolder **folder) {
    return Special(L"GetDeletedFolder", FOLDER_DELETED, folder);
}
HRESULT MXFolderManager::GetDraftFolder(::MXFolder **folder) {
    return Special(L"GetDraftFolder", FOLDER_DRAFT, folder);
}

HRESULT MXFolderManager::GetFolder(long folderId, ::MXFolder **folder) {
    return Guard(L"GetFolder", [&] { HandOut(MXFolder::CreateById(folderId), folder); }, folder);
}

// --- The walk -----------------------------------------------------------------------------------

void MXFolderManager::CloseWalkLevels() noexcept {
    while (!walkLevels_.empty()) walkLevels_.pop_back();
}

void MXFolderManager::RestartWalk() {
    CloseWalkLevels();
    current_ = nullptr;
    current_ = MXFolder::CreateById(0);
}

void MXFolderManager::AdvanceWalk() {
    if (!current_) {
        RestartWalk();
        return;
    }
    long id = 0;
    current_->GetID(&id);
    current_ = nullptr;
    IStoreNamespace* store = Namespace();
    if (!store) {
        CloseWalkLevels();
        return;
    }
    // A failed creation ends the walk before the error leaves, so the next call starts afresh.
    try {
        walkLevels_.reserve(walkLevels_.size() + 1);
        FOLDERPROPS props = EmptyFolderProps();
        unique_henumstore<IStoreNamespace> children;
        if (Yields(store->GetFirstSubFolder(static_cast<STOREFOLDERID>(id), &props, children.put(store))) &&
            children) {
            walkLevels_.push_back(std::move(children));
            current_ = MXFolder::CreateIfPresent(static_cast<long>(props.dwFolderId));
        }
        children.reset();
        // No (present) child: the next sibling here, or of the nearest ancestor that has one. A
        // folder deleted after the store listed it is skipped.
        while (!walkLevels_.empty() && !current_) {
            props = EmptyFolderProps();
            if (Yields(store->GetNextSubFolder(walkLevels_.back().get(), &props)))
                current_ = MXFolder::CreateIfPresent(static_cast<long>(props.dwFolderId));
            else
                walkLevels_.pop_back();
        }
    } catch (...) {
        current_ = nullptr;
        CloseWalkLevels();
        throw;
    }
}

HRESULT MXFolderManager::GetFirstFolder(::MXFolder **folder) {
    return Guard(L"GetFirstFolder", [&] {
        RestartWalk();
        current_.copy_to(reinterpret_cast<IMXFolder**>(folder));
    }, folder);
}

HRESULT MXFolderManager::GetNextFolder(::MXFolder **folder) {
    return Guard(L"GetNextFolder", [&] {
        AdvanceWalk();
        current_.copy_to(reinterpret_cast<IMXFolder**>(folder));
    }, folder);
}

HRESULT MXFolderManager::GetCurrentFolder(::MXFolder **folder) {
    return Guard(L"GetCurrentFolder", [&] { current_.copy_to(reinterpret_cast<IMXFolder**>(folder)); }, folder);
}

// --- Folder operations by id --------------------------------------------------------------------

HRESULT MXFolderManager::RenameFolder(long folderId, BSTR newName, long *result) {
    return Guard(L"RenameFolder", [&] {
        *result = AskFolder(MXFolder::CreateById(folderId).get(),
                            [&](IMXFolder* f, long* r) { return f->Rename(newName, r); });
    }, result);
}

HRESULT MXFolderManager::MoveFolder(long folderId, long newParentId, long *result) {
    return Guard(L"MoveFolder", [&] {
        *result = AskFolder(MXFolder::CreateById(folderId).get(),
                            [&](IMXFolder* f, long* r) { return f->Move(newParentId, r); });
    }, result);
}

HRESULT MXFolderManager::DeleteFolder(long folderId, long *result) {
    return Guard(L"DeleteFolder", [&] {
        *result = 0;
        com_ptr<IMXFolder> target = MXFolder::CreateById(folderId);
        // The walk must not stand on a folder that is about to go: it moves on first, into the
        // folder's first child when it has one, whether or not the deletion then succeeds.
        if (current_) {
            long current_id = 0;
            current_->GetID(&current_id);
            if (current_id == folderId) AdvanceWalk();
        }
        *result = AskFolder(target.get(), [](IMXFolder* f, long* r) { return f->Delete(r); });
    }, result);
}

HRESULT MXFolderManager::CreateFolder(long parentFolderId, BSTR Name, long *result) {
    return Guard(L"CreateFolder", [&] {
        *result = -1;
        *result = AskFolder(MXFolder::CreateById(parentFolderId).get(),
                            [&](IMXFolder* f, long* r) { return f->CreateFolder(Name, r); });
    }, result);
}

// --- Messages between folders -------------------------------------------------------------------

long MXFolderManager::CopyOrMove(long source_id, long target_id, const std::vector<MESSAGEID>& ids, bool move) {
    IStoreNamespace* store = Namespace();
    if (!store) return 0;
    com_ptr<IStoreFolder> source;
    com_ptr<IStoreFolder> target;
    if (FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(source_id), 0, source.put())) || !source ||
        FAILED(store->OpenFolder(static_cast<STOREFOLDERID>(target_id), 0, target.put())) || !target)
        return 0;
    bool all_done = true;
    for (MESSAGEID id : ids) {
        MessageProps props(source.get());
        if (FAILED(source->GetMessageProps(id, 0, props.put()))) {
            all_done = false;
            continue;
        }
        props.set_filled();
        MESSAGEID one = id;
        MESSAGEIDLIST list{sizeof(MESSAGEIDLIST), 1, &one};
        // Every flag the message does not carry is removed, so the copy keeps exactly its flags.
        HRESULT hr = store->CopyMoveMessages(source.get(), target.get(), &list, move ? CMF_MOVE : 0,
                                             ~props->dwFlags, nullptr);
        if (FAILED(hr)) all_done = false;
    }
    return all_done ? 1 : 0;
}

HRESULT MXFolderManager::CopyMessage(long srcFolderId, long destFolderId, long msgId, long *result) {
    return Guard(L"CopyMessage", [&] {
        *result = 0;
        *result = CopyOrMove(srcFolderId, destFolderId, {static_cast<MESSAGEID>(msgId)}, false);
    }, result);
}

HRESULT MXFolderManager::MoveMessage(long srcFolderId, long destFolderId, long msgId, long *result) {
    return Guard(L"MoveMessage", [&] {
        *result = 0;
        *result = CopyOrMove(srcFolderId, destFolderId, {static_cast<MESSAGEID>(msgId)}, true);
    }, result);
}

// --- Events -------------------------------------------------------------------------------------

// Raised through the manager's connection point once it has one; until then nobody listens.
void MXFolderManager::FireOnFolderCreated(long folderId) {
    events_.Fire(DISPID_MXFOLDERMANAGER_ONFOLDERCREATED, {folderId});
}
void MXFolderManager::FireOnFolderDeleted(long folderId) {
    events_.Fire(DISPID_MXFOLDERMANAGER_ONFOLDERDELETED, {folderId});
}
void MXFolderManager::FireOnFolderRenamed(long folderId) {
    events_.Fire(DISPID_MXFOLDERMANAGER_ONFOLDERRENAMED, {folderId});
}
void MXFolderManager::FireOnFolderMoved(long folderId) {
    events_.Fire(DISPID_MXFOLDERMANAGER_ONFOLDERMOVED, {folderId});
}
void MXFolderManager::FireOnFolderUnreadChanged(long folderId) {
    events_.Fire(DISPID_MXFOLDERMANAGER_ONFOLDERUNREADCHANGED, {folderId});
}
void MXFolderManager::FireOnNewMessage(long folderId, long msgId) {
    events_.Fire(DISPID_MXFOLDERMANAGER_ONNEWMESSAGE, {folderId, msgId});
}

}  // namespace pelkary
