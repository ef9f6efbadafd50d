// Damaged stores: every store file cut, flipped or deleted at a spread of
// offsets. Whatever the damage, opening never crashes and never presents a
// smaller store without saying so, a later write destroys nothing that was
// still readable, Check reports what Open or a read found, and Recover
// brings back every message whose source is intact.
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mailstore/store.h"
#include "test_dir.h"

using namespace mailstore;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kInbox = 1;

MessageFields FieldsOf(const std::string& source) {
  MessageFields f;
  f.subject = source.substr(0, 12);
  return f;
}

// Every readable message as folder/id -> source; a source that fails to
// read shows as "<unreadable>".
std::map<std::string, std::string> Mail(Store& s) {
  std::map<std::string, std::string> out;
  std::vector<FolderInfo> pending;
  s.ListSubfolders(kRootFolderId, &pending);
  for (size_t i = 0; i < pending.size(); ++i) {
    std::vector<FolderInfo> subs;
    s.ListSubfolders(pending[i].id, &subs);
    pending.insert(pending.end(), subs.begin(), subs.end());
    std::vector<MessageRecordPtr> list;
    s.ListMessages(pending[i].id, 0, &list);
    for (const auto& r : list) {
      std::string source(r->size, '\0');
      const bool read = s.ReadSource(*r, 0, &source[0], source.size()) == r->size;
      out[pending[i].name + "/" + std::to_string(r->id)] = read ? source : "<unreadable>";
    }
  }
  return out;
}

std::multiset<std::string> Sources(const std::map<std::string, std::string>& mail) {
  std::multiset<std::string> out;
  for (const auto& [where, source] : mail) out.insert(source);
  return out;
}

void Flip(const std::string& path, uint64_t at) {
  std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
  f.seekg(static_cast<std::streamoff>(at));
  const char c = static_cast<char>(f.get() ^ 0x20);
  f.seekp(static_cast<std::streamoff>(at)).put(c);
}

struct Damage {
  const char* file;
  enum { kCut, kFlip, kDelete } how;
  double where;  // fraction of the file's meaningful length
};

}  // namespace

TEST(StoreDamage, IsReportedNeverMadeWorseAndRecovered) {
  TestDir pristine;
  std::map<std::string, std::string> before;
  uint64_t data_length = 0;
  {
    auto s = Store::Open(pristine.store(), true, nullptr);
    uint32_t sub = 0;
    ASSERT_EQ(Status::kOk, s->CreateFolder(kRootFolderId, "Archive", &sub));
    for (int i = 0; i < 8; ++i) {
      const std::string source = "Subject: m" + std::to_string(i) + "\r\n\r\n" + std::string(300 + 50 * i, 'a' + i);
      ASSERT_EQ(Status::kOk, s->AddMessage(i % 3 ? kInbox : sub, kInvalidId, source, 0, FieldsOf(source), nullptr));
    }
    ASSERT_EQ(Status::kOk, s->SetFlags(kInbox, {1}, 2, 2, nullptr));
    before = Mail(*s);
    std::vector<MessageRecordPtr> list;
    s->ListMessages(kInbox, 0, &list);
    for (const auto& r : list) data_length = std::max(data_length, r->offset + r->size);
  }
  const uint64_t journal_length = fs::file_size(pristine.store() + "/journal.dat");
  std::vector<Damage> cases;
  for (const char* file : {"journal.dat", "messages.dat", "store.seq"}) {
    cases.push_back({file, Damage::kDelete, 0});
    for (double where : {0.0, 0.001, 0.01, 0.03, 0.1, 0.25, 0.5, 0.75, 0.97, 0.999}) {
      cases.push_back({file, Damage::kCut, where});
      cases.push_back({file, Damage::kFlip, where});
    }
  }
  for (const Damage& d : cases) {
    const char* const kHow[] = {"cut", "flip", "delete"};
    SCOPED_TRACE(std::string(d.file) + " " + kHow[d.how] + " at " + std::to_string(d.where));
    TestDir dir;
    fs::copy(pristine.store(), dir.store());
    const std::string path = dir.store() + "/" + d.file;
    const uint64_t length = std::string(d.file) == "journal.dat" ? journal_length
                            : std::string(d.file) == "messages.dat" ? data_length : 4096;
    const uint64_t at = static_cast<uint64_t>(d.where * static_cast<double>(length));
    if (d.how == Damage::kDelete) fs::remove(path);
    if (d.how == Damage::kCut) fs::resize_file(path, at);
    if (d.how == Damage::kFlip) Flip(path, std::min(at, length - 1));

    Status status = Status::kOk;
    std::string report;
    auto s = Store::Open(dir.store(), true, &status, &report);
    std::map<std::string, std::string> seen = s ? Mail(*s) : std::map<std::string, std::string>{};
    const bool whole = status == Status::kOk && seen == before;
    // Silent loss is an open that says kOk and shows less or other mail
    // where every source still reads.
    if (status == Status::kOk) {
      ASSERT_TRUE(s);
      for (const auto& [where, source] : before)
        if (!seen.count(where) || (seen[where] != source && seen[where] != "<unreadable>"))
          ADD_FAILURE() << where << " silently lost or changed";
    } else {
      EXPECT_EQ(Status::kDamaged, status);
      EXPECT_FALSE(report.empty());
    }
    std::vector<std::string> findings;
    EXPECT_EQ(whole ? Status::kOk : Status::kDamaged, Store::Check(dir.store(), &findings))
        << (findings.empty() ? report : findings.back());
    if (s) {
      // A write on whatever opened covers nothing that was readable.
      uint32_t late = 0;
      ASSERT_EQ(Status::kOk, s->CreateFolder(kRootFolderId, "Late", &late));
      ASSERT_EQ(Status::kOk, s->AddMessage(late, kInvalidId, std::string(5000, 'z'), 0, FieldsOf("z"), nullptr));
      const auto now = Mail(*s);
      for (const auto& [where, source] : seen) {
        if (source != "<unreadable>") {
          EXPECT_EQ(source, now.at(where)) << where;
        }
      }
      s.reset();
    }
    // Recovery keeps every source the data file still holds whole.
    std::string summary;
    ASSERT_EQ(Status::kOk, Store::Recover(dir.store(), FieldsOf, &summary));
    auto recovered = Store::Open(dir.store(), false, &status, &report);
    ASSERT_TRUE(recovered) << report;
    const auto after = Sources(Mail(*recovered));
    if (std::string(d.file) != "messages.dat") {
      for (const auto& [where, source] : before) EXPECT_EQ(1u, after.count(source)) << where << ": " << summary;
    }
  }
}

TEST(StoreDamage, AStoreThatCannotBeWrittenSaysSo) {
  TestDir dir;
  Store::Open(dir.store(), true, nullptr);
  fs::remove(dir.store() + "/store.lock");  // a directory opens for reading only
  fs::create_directory(dir.store() + "/store.lock");
  auto s = Store::Open(dir.store(), false, nullptr);
  ASSERT_TRUE(s);
  EXPECT_EQ(Status::kReadOnly, s->AddMessage(kInbox, kInvalidId, "x", 0, FieldsOf("x"), nullptr));
  EXPECT_EQ(Status::kReadOnly, s->CreateFolder(kRootFolderId, "x", nullptr));
  EXPECT_EQ(Status::kReadOnly, Store::Recover(dir.store(), FieldsOf, nullptr));
}
