// StoreFile: one file of a store directory under its fixed name, keeping the path it was opened
// at for the store's messages. What the data file and the journal have in common.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mailstore/file.h"

namespace mailstore {

class StoreFile {
 public:
  // The generations of a family of files in |directory|, lowest first: those g whose file
  // |name_of|(g) is there (name.dat for 0, name.<g>.dat after it).
  static std::vector<uint32_t> Generations(const std::string& directory, std::string (*name_of)(uint32_t));

  bool is_open() const { return file_.is_open(); }
  const std::string& path() const { return path_; }
  bool Sync() { return file_.Sync(); }
  void Close() { file_.Close(); }

 protected:
  // Opens |name| in |directory|; kReadWrite creates it. False on failure.
  bool OpenIn(const std::string& directory, const char* name, File::Mode mode) {
    path_ = JoinPath(directory, name);
    return file_.Open(path_, mode);
  }

  // Takes |file|, opened at |path|, in place of the one held.
  void Adopt(File&& file, std::string path) {
    file_ = std::move(file);
    path_ = std::move(path);
  }

  File file_;

 private:
  std::string path_;
};

}  // namespace mailstore
