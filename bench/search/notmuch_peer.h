// NotmuchPeer: the notmuch library in-process, as the bench's peer: its own database in a
// directory of its own, the same messages as files there, queries counted and listed as the
// bench does its own. Built only where the library is installed (PELKARY_HAVE_NOTMUCH).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace searchbench {

class NotmuchPeer {
 public:
  ~NotmuchPeer();
  static bool Available();
  // Creates the database in |dir| and writes |messages| as files there (not timed).
  bool Create(const std::string& dir, const std::vector<std::string_view>& messages);
  // Indexes every file; false on failure.
  bool Index();
  uint64_t Count(const std::string& query);
  // Every matching message's id, newest first.
  size_t List(const std::string& query, std::vector<std::string>* ids);

 private:
  struct Db;
  Db* db_ = nullptr;
  std::vector<std::string> files_;
};

}  // namespace searchbench
