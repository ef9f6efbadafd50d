// Damaged stores: every store file cut, flipped or deleted at a spread of
// offsets. Whatever the damage, opening never crashes and never presents a
// smaller store without saying so, a later write destroys nothing that was
// still readable, Check reports what Open or a read found, and Recover
// brings back every message whose source is intact.
#include <fstream>
#include <set>

#include "store_support.h"

using namespace mailstore;
namespace fs = std::filesystem;

namespace {

// Short record fields, so that the last journal entry (a flag change) is a known part of the journal.
MessageFields FieldsOf(const std::string& source) { return {source.substr(0, 12), "", "", "", 3, 0}; }

std::multiset<std::string> Sources(const std::map<std::string, std::string>& mail) {
  std::multiset<std::string> out;
  for (const auto& [where, message] : mail) out.insert(message.substr(message.find(':') + 1));
  return out;
}

}  // namespace

// The same damage to a store as it grows and to one that was compacted since: its journal and data
// file are then journal.1.dat and messages.1.dat, which journal.cur names.
class DamagedStore : public testing::TestWithParam<bool> {};

TEST_P(DamagedStore, IsReportedNeverMadeWorseAndRecovered) {
  const bool compacted = GetParam();
  const std::string journal = compacted ? "journal.1.dat" : "journal.dat";
  const std::string data = compacted ? "messages.1.dat" : "messages.dat";
  TestDir pristine;
  std::map<std::string, std::string> before, before_last;
  std::map<std::string, uint64_t> length;  // of each file's meaningful bytes
  uint64_t last_entry = 0;
  {
    auto s = OpenStore(pristine.store());
    const uint32_t sub = Folder(*s, kRootFolderId, "Archive");
    for (int i = 0; i < 8; ++i) {
      const std::string source = "Subject: m" + std::to_string(i) + "\r\n\r\n" + std::string(300 + 50 * i, 'a' + i);
      ASSERT_EQ(Status::kOk, s->AddMessage(i % 3 ? kInbox : sub, kInvalidId, source, 0, FieldsOf(source), nullptr));
      length[data] += source.size() + 32;
    }
    if (compacted) {
      ASSERT_EQ(Status::kOk, s->Compact());
    }
    before_last = Mail(*s);
    last_entry = fs::file_size(pristine.store() + "/" + journal);
    ASSERT_EQ(Status::kOk, s->SetFlags(1, {1}, 2, 2, nullptr));
    before = Mail(*s);
  }
  length[journal] = fs::file_size(pristine.store() + "/" + journal);
  length["store.seq"] = 4096;
  if (compacted) length["journal.cur"] = fs::file_size(pristine.store() + "/journal.cur");
  const char* const kHow[] = {"cut", "flip", "delete"};
  for (const auto& [file, size] : length)
    for (int how = 0; how < 3; ++how)
      for (double where : {0.0, 0.001, 0.01, 0.03, 0.1, 0.25, 0.5, 0.75, 0.97, 0.999}) {
        if (how == 2 && where > 0) break;
        SCOPED_TRACE(file + " " + kHow[how] + " at " + std::to_string(where));
        TestDir dir;
        fs::copy(pristine.store(), dir.store());
        const std::string path = dir.store() + "/" + file;
        const uint64_t at = std::min(static_cast<uint64_t>(where * static_cast<double>(size)), size - 1);
        if (how == 0) fs::resize_file(path, at);
        if (how == 1) {
          std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
          const char c = static_cast<char>(f.seekg(static_cast<std::streamoff>(at)).get() ^ 0x20);
          f.seekp(static_cast<std::streamoff>(at)).put(c);
        }
        if (how == 2) fs::remove(path);

        // A journal cut inside its last entry is a write that never finished,
        // and so is one whose last entry's length now runs past the end.
        const bool torn = file == journal && at > last_entry && (how == 0 || at < last_entry + 8);
        const auto& expected = torn ? before_last : before;
        Status status = Status::kOk;
        std::string report;
        auto s = Store::Open(dir.store(), true, &status, &report);
        const auto seen = s ? Mail(*s) : std::map<std::string, std::string>{};
        // An open that says kOk shows all the mail, or fails the read of what it lost.
        if (status == Status::kOk) {
          for (const auto& [where_, message] : expected)
            EXPECT_TRUE(seen.count(where_) && (seen.at(where_) == message ||
                                               seen.at(where_).find("<unreadable>") != std::string::npos))
                << where_ << " silently lost or changed";
        } else {
          EXPECT_EQ(Status::kDamaged, status);
          EXPECT_NE("", report);
        }
        std::vector<std::string> findings;
        EXPECT_EQ(status == Status::kOk && seen == expected ? Status::kOk : Status::kDamaged,
                  Store::Check(dir.store(), &findings))
            << (findings.empty() ? report : findings.back());
        if (s) {  // a write on whatever opened covers nothing that was readable
          Add(*s, Folder(*s, kRootFolderId, "Late"), std::string(5000, 'z'));
          const auto now = Mail(*s);
          for (const auto& [where_, message] : seen)
            EXPECT_EQ(message, message.find("<unreadable>") == std::string::npos ? now.at(where_) : message) << where_;
          s.reset();
        }
        // Recovery keeps every source the data file still holds whole.
        std::string summary;
        ASSERT_EQ(Status::kOk, Store::Recover(dir.store(), FieldsOf, &summary));
        auto recovered = Store::Open(dir.store(), false, &status, &report);
        ASSERT_TRUE(recovered) << report;
        const auto after = Sources(Mail(*recovered));
        if (file == data) continue;  // its lost sources cannot come back
        for (const auto& source : Sources(before)) EXPECT_EQ(1u, after.count(source)) << summary;
      }
}

INSTANTIATE_TEST_SUITE_P(GrowingAndCompacted, DamagedStore, testing::Bool(),
                         [](const auto& info) { return info.param ? "Compacted" : "Growing"; });

TEST(StoreDamage, AStoreThatCannotBeWrittenOrWasCutUnderItsOpenSaysSo) {
  TestDir dir;
  const std::string journal = dir.store() + "/journal.dat";
  Add(*OpenStore(dir.store()), kInbox, "kept");
  const auto size = fs::file_size(journal);
  fs::rename(dir.store() + "/store.lock", dir.path() + "/lock");
  fs::create_directory(dir.store() + "/store.lock");  // a directory opens for reading only
  auto s = Store::Open(dir.store(), false, nullptr);
  ASSERT_TRUE(s);
  const std::map<std::string, std::string> kept = {{"Inbox/1", "0:kept"}};
  EXPECT_EQ(kept, Mail(*s));
  EXPECT_EQ(Status::kReadOnly, s->AddMessage(1, kInvalidId, "x", 0, {}, nullptr));
  EXPECT_EQ(Status::kReadOnly, Store::Recover(dir.store(), FieldsOf, nullptr));
  EXPECT_EQ(size, fs::file_size(journal));
  fs::remove(dir.store() + "/store.lock");
  fs::rename(dir.path() + "/lock", dir.store() + "/store.lock");
  s = Store::Open(dir.store(), false, nullptr);
  fs::resize_file(journal, 10);
  EXPECT_EQ(Status::kDamaged, s->AddMessage(1, kInvalidId, "x", 0, {}, nullptr));
  EXPECT_EQ(kept, Mail(*s));  // what was read stays
}
