#include "notmuch_peer.h"

#include <cstdio>
#include <filesystem>

#ifdef PELKARY_HAVE_NOTMUCH
#include <notmuch.h>
#endif

namespace searchbench {

#ifdef PELKARY_HAVE_NOTMUCH
struct NotmuchPeer::Db {
  notmuch_database_t* db = nullptr;
};

bool NotmuchPeer::Available() { return true; }

NotmuchPeer::~NotmuchPeer() {
  if (db_ && db_->db) notmuch_database_destroy(db_->db);
  delete db_;
}

bool NotmuchPeer::Create(const std::string& dir, const std::vector<std::string_view>& messages) {
  std::filesystem::create_directories(dir + "/cur");
  for (size_t i = 0; i < messages.size(); ++i) {
    files_.push_back(dir + "/cur/" + std::to_string(i) + ":2,");
    FILE* f = std::fopen(files_.back().c_str(), "wb");
    if (!f) return false;
    std::fwrite(messages[i].data(), 1, messages[i].size(), f);
    std::fclose(f);
  }
  db_ = new Db();
  return notmuch_database_create(dir.c_str(), &db_->db) == NOTMUCH_STATUS_SUCCESS;
}

bool NotmuchPeer::Index() {
  // Batches in atomic sections, as its own tool does, so that it does not commit per message.
  for (size_t i = 0; i < files_.size(); ++i) {
    if (i % 1000 == 0) notmuch_database_begin_atomic(db_->db);
    notmuch_message_t* message = nullptr;
    const auto st = notmuch_database_index_file(db_->db, files_[i].c_str(), nullptr, &message);
    if (st != NOTMUCH_STATUS_SUCCESS && st != NOTMUCH_STATUS_DUPLICATE_MESSAGE_ID) return false;
    if (message) notmuch_message_destroy(message);
    if (i % 1000 == 999 || i + 1 == files_.size()) notmuch_database_end_atomic(db_->db);
  }
  return true;
}

uint64_t NotmuchPeer::Count(const std::string& query) {
  notmuch_query_t* q = notmuch_query_create(db_->db, query.c_str());
  unsigned count = 0;
  notmuch_query_count_messages(q, &count);
  notmuch_query_destroy(q);
  return count;
}

size_t NotmuchPeer::List(const std::string& query, std::vector<std::string>* ids) {
  ids->clear();
  notmuch_query_t* q = notmuch_query_create(db_->db, query.c_str());
  notmuch_query_set_sort(q, NOTMUCH_SORT_NEWEST_FIRST);
  notmuch_messages_t* messages = nullptr;
  if (notmuch_query_search_messages(q, &messages) == NOTMUCH_STATUS_SUCCESS) {
    for (; notmuch_messages_valid(messages); notmuch_messages_move_to_next(messages)) {
      notmuch_message_t* m = notmuch_messages_get(messages);
      ids->emplace_back(notmuch_message_get_message_id(m));
      notmuch_message_destroy(m);
    }
    notmuch_messages_destroy(messages);
  }
  notmuch_query_destroy(q);
  return ids->size();
}
#else
struct NotmuchPeer::Db {};
bool NotmuchPeer::Available() { return false; }
NotmuchPeer::~NotmuchPeer() = default;
bool NotmuchPeer::Create(const std::string&, const std::vector<std::string_view>&) { return false; }
bool NotmuchPeer::Index() { return false; }
uint64_t NotmuchPeer::Count(const std::string&) { return 0; }
size_t NotmuchPeer::List(const std::string&, std::vector<std::string>*) { return 0; }
#endif

}  // namespace searchbench
