// MessageProps: a MESSAGEPROPS record that a store folder fills, given back to that folder with
// FreeMessageProps when the holder goes (the store allocates the record's strings).
#pragma once

#include "store_api.h"

namespace pelkary {

class MessageProps {
public:
    // `folder` is the store folder that will fill the record; it must outlive the holder.
    explicit MessageProps(IStoreFolder* folder) noexcept : folder_(folder) { Clear(); }
    ~MessageProps() { Free(); }
    MessageProps(const MessageProps&) = delete;
    MessageProps& operator=(const MessageProps&) = delete;

    // The record to pass to the store; gives back what it held before.
    MESSAGEPROPS* put() noexcept {
        Free();
        return &props_;
    }
    // Call after the store reported that it filled the record.
    void set_filled() noexcept { filled_ = true; }

    const MESSAGEPROPS* operator->() const noexcept { return &props_; }

private:
    void Clear() noexcept {
        props_ = MESSAGEPROPS{};
        props_.cbSize = sizeof(MESSAGEPROPS);
    }
    void Free() noexcept {
        if (filled_) folder_->FreeMessageProps(&props_);
        filled_ = false;
        Clear();
    }

    IStoreFolder* folder_;
    MESSAGEPROPS props_;
    bool filled_ = false;
};

// A FOLDERPROPS record ready for the store (size set, the rest zero).
inline FOLDERPROPS EmptyFolderProps() noexcept {
    FOLDERPROPS props{};
    props.cbSize = sizeof(FOLDERPROPS);
    return props;
}

}  // namespace pelkary
