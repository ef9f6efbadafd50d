// What the store engine's tests share: a fresh directory per test, the special folders' ids, calls
// that must succeed, and what a store holds as one comparable value.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mailstore/store.h"

inline constexpr uint32_t kInbox = 1, kOutbox = 2, kSent = 3, kDeleted = 4, kDrafts = 5;

// Helpers take the caller's file and line, so a failure points at the call.
#define CALLER const char *file = __builtin_FILE(), int line = __builtin_LINE()
#define TRACE_CALLER testing::ScopedTrace trace(file, line, "called from here")

struct TestDir {
  std::string path_ = [] { char name[] = "/tmp/mailstore-test-XXXXXX"; return std::string(::mkdtemp(name)); }();
  ~TestDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
  const std::string& path() const { return path_; }
  std::string store() const { return path_ + "/store"; }
};

inline std::unique_ptr<mailstore::Store> OpenStore(const std::string& dir, CALLER) {
  TRACE_CALLER;
  std::string report;
  auto store = mailstore::Store::Open(dir, true, nullptr, &report);
  EXPECT_TRUE(store) << report;
  return store;
}

inline mailstore::MessageFields Fields(const std::string& s) { return {s, "n-" + s, "to-" + s, "from-" + s, 1, 1234}; }

inline uint32_t Add(mailstore::Store& s, uint32_t folder, const std::string& source, uint32_t flags = 0, CALLER) {
  TRACE_CALLER;
  uint32_t id = mailstore::kInvalidId;
  EXPECT_EQ(mailstore::Status::kOk, s.AddMessage(folder, mailstore::kInvalidId, source, flags, Fields(source), &id));
  return id;
}

inline uint32_t Folder(mailstore::Store& s, uint32_t parent, const std::string& name, CALLER) {
  TRACE_CALLER;
  uint32_t id = mailstore::kInvalidId;
  EXPECT_EQ(mailstore::Status::kOk, s.CreateFolder(parent, name, &id));
  return id;
}

// A message's source, or "<unreadable>" when it does not read whole.
inline std::string SourceOf(mailstore::Store& s, const mailstore::MessageRecord& r) {
  std::string out(r.size, '\0');
  return s.ReadSource(r, 0, &out[0], out.size()) == r.size ? out : "<unreadable>";
}

// Every message of |s| as "folder path/id" -> "flags:source", folders walked from the top; with
// |folders|, also every folder as "folder path" -> "id:special type".
inline std::map<std::string, std::string> Mail(mailstore::Store& s, bool folders = false) {
  std::map<std::string, std::string> out;
  std::vector<std::pair<std::string, uint32_t>> pending = {{"", mailstore::kRootFolderId}};
  for (size_t i = 0; i < pending.size(); ++i) {
    const auto [path, id] = pending[i];
    std::vector<mailstore::FolderInfo> subs;
    s.ListSubfolders(id, &subs);
    for (const auto& f : subs) {
      pending.emplace_back(path.empty() ? f.name : path + "/" + f.name, f.id);
      if (folders) out["folder " + pending.back().first] = std::to_string(f.id) + ":" + std::to_string(f.special);
    }
    std::vector<mailstore::MessageRecordPtr> list;
    s.ListMessages(id, 0, &list);
    for (const auto& r : list) out[path + "/" + std::to_string(r->id)] = std::to_string(r->flags) + ":" + SourceOf(s, *r);
  }
  return out;
}
