// unique_henumstore: an open enumeration of the store (HENUMSTORE), closed through the object that
// opened it: a namespace's sub-folder walk with GetSubFolderClose, a folder's message walk with
// GetMessageClose.
#pragma once

#include <utility>

#include "comsupport/com_ptr.h"
#include "store_api.h"

namespace pelkary {

// `Owner` is IStoreNamespace or IStoreFolder. The holder keeps a reference on the owner, so the
// enumeration can always be closed.
template <typename Owner>
class unique_henumstore {
public:
    unique_henumstore() noexcept = default;
    unique_henumstore(unique_henumstore&& o) noexcept
        : owner_(std::move(o.owner_)), handle_(std::exchange(o.handle_, nullptr)) {}
    unique_henumstore& operator=(unique_henumstore&& o) noexcept {
        reset();
        owner_ = std::move(o.owner_);
        handle_ = std::exchange(o.handle_, nullptr);
        return *this;
    }
    unique_henumstore(const unique_henumstore&) = delete;
    unique_henumstore& operator=(const unique_henumstore&) = delete;
    ~unique_henumstore() { reset(); }

    // Closes the enumeration held (if any) and returns the slot for a new one that `owner` opens.
    HENUMSTORE* put(Owner* owner) noexcept {
        reset();
        owner_ = com_ptr<Owner>(owner);
        return &handle_;
    }
    void reset() noexcept {
        if (HENUMSTORE h = std::exchange(handle_, nullptr)) close(owner_.get(), h);
        owner_ = nullptr;
    }
    HENUMSTORE get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

private:
    static void close(IStoreNamespace* store, HENUMSTORE h) noexcept { store->GetSubFolderClose(h); }
    static void close(IStoreFolder* folder, HENUMSTORE h) noexcept { folder->GetMessageClose(h); }

    com_ptr<Owner> owner_;
    HENUMSTORE handle_ = nullptr;
};

}  // namespace pelkary
