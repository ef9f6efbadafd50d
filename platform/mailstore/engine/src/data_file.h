// DataFile: messages.dat, the message sources. A source is written once, at
// the end of the last source any journal entry refers to, and never changed
// in place; bytes of a write that never got its entry are simply written
// over by the next one. The file runs ahead of the last source in
// zero-filled steps, so that syncing a source flushes data only and not a
// change of the file's size or allocation.
//
// Reads may come from any thread; writes come under the store's exclusive lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store_file.h"

namespace mailstore {

class DataFile : public StoreFile {
 public:
  // Opens messages.dat in |directory|; kReadWrite creates it. False on failure.
  bool Open(const std::string& directory, File::Mode mode) { return OpenIn(directory, "messages.dat", mode); }

  // Writes |source| at |offset| (the model's data_end()), synced with |sync|.
  // False when the disk refused.
  bool Write(uint64_t offset, std::string_view source, bool sync);
  // Reads like File::ReadAt.
  int64_t ReadAt(uint64_t offset, void* buffer, size_t size) const {
    return file_.ReadAt(offset, buffer, size);
  }
};

}  // namespace mailstore
