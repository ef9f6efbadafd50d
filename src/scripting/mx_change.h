// MXChange: one change of the store's change history as IMXStore::Changes reports it: what
// changed, where, and the cursor just after it. Read-only; apartment-threaded; not creatable by
// clients.
#pragma once

#include <string>

#include "frame/automation_object.h"
#include "pelkary_scripting.h"

namespace pelkary {

class MXChange : public AutomationObject<MXChange, IMXChange> {
public:
    static const ClassIdentity kIdentity;

    // `kind` is one of the kind names ("MessageAdded", ...); `message_id` 0 for a folder change.
    static com_ptr<IMXChange> Make(std::wstring kind, long folder_id, long message_id, std::wstring cursor);

    HRESULT STDMETHODCALLTYPE get_Kind(BSTR* kind) override;
    HRESULT STDMETHODCALLTYPE get_FolderId(long* folderId) override { return Answer(folderId, folderId_); }
    HRESULT STDMETHODCALLTYPE get_MessageId(long* messageId) override { return Answer(messageId, messageId_); }
    HRESULT STDMETHODCALLTYPE get_Cursor(BSTR* cursor) override;

private:
    MXChange(std::wstring kind, long folder_id, long message_id, std::wstring cursor)
        : kind_(std::move(kind)), folderId_(folder_id), messageId_(message_id), cursor_(std::move(cursor)) {}

    std::wstring kind_;
    long folderId_;
    long messageId_;
    std::wstring cursor_;
};

}  // namespace pelkary
