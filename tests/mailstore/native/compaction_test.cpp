// Compaction: deleted mail gives its space back, ids and reservations stay,
// other opens follow the switch, and a kill before the switch leaves the old
// store whole.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mailstore/store.h"
#include "test_dir.h"

using namespace mailstore;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kInbox = 1, kDeleted = 4;

uint64_t SpaceOf(const std::string& dir) {
  uint64_t total = 0;
  for (const auto& f : fs::directory_iterator(dir)) total += f.file_size();
  return total;
}

// The folder as "id=source" items.
std::vector<std::string> Listing(Store& s, uint32_t folder) {
  std::vector<MessageRecordPtr> list;
  s.ListMessages(folder, 0, &list);
  std::vector<std::string> out;
  for (const auto& r : list) {
    std::string source(r->size, '\0');
    const bool read = s.ReadSource(*r, 0, &source[0], source.size()) == r->size;
    out.push_back(std::to_string(r->id) + "=" + (read ? source.substr(0, 12) : "<unreadable>"));
  }
  return out;
}

}  // namespace

TEST(StoreCompaction, DeletedMailGivesItsSpaceBackAndOtherOpensFollow) {
  TestDir dir, before_switch;
  auto s = Store::Open(dir.store(), true, nullptr);
  auto other = Store::Open(dir.store(), false, nullptr);
  s->SetSyncEachCall(false);
  std::vector<uint32_t> ids(100);
  for (uint32_t i = 0; i < ids.size(); ++i) {
    const std::string source = "Subject: " + std::to_string(1000 + i) + "\r\n\r\n" + std::string(100000, 'a' + i % 26);
    ASSERT_EQ(Status::kOk, s->AddMessage(kInbox, kInvalidId, source, 0, MessageFields(), &ids[i]));
  }
  ASSERT_TRUE(s->Flush());
  const uint64_t space = SpaceOf(dir.store());
  MessageRecordPtr held;
  ASSERT_EQ(Status::kOk, other->FindMessage(kInbox, ids[95], &held));
  uint32_t reserved;
  ASSERT_EQ(Status::kOk, s->ReserveMessageId(kInbox, &reserved));

  // Into Deleted Items (the copies keep the sources alive), then out for good.
  ASSERT_EQ(Status::kOk, s->DeleteMessages(kInbox, std::vector<uint32_t>(ids.begin(), ids.begin() + 90)));
  EXPECT_TRUE(fs::exists(dir.store() + "/messages.dat"));
  fs::copy(dir.store(), before_switch.store());
  std::vector<MessageRecordPtr> bin;
  ASSERT_EQ(Status::kOk, s->ListMessages(kDeleted, 0, &bin));
  std::vector<uint32_t> bin_ids;
  for (const auto& r : bin) bin_ids.push_back(r->id);
  const std::vector<std::string> kept = Listing(*s, kInbox);
  ASSERT_EQ(Status::kOk, s->DeleteMessages(kDeleted, bin_ids));  // compacts by itself

  EXPECT_LE(SpaceOf(dir.store()) * 4, space);
  EXPECT_FALSE(fs::exists(dir.store() + "/messages.dat"));
  EXPECT_EQ(kept, Listing(*other, kInbox));
  EXPECT_EQ(-1, other->ReadSource(*held, 0, &std::string(10, '\0')[0], 10));  // listed before the switch
  EXPECT_EQ(kept, Listing(*Store::Open(dir.store(), false, nullptr), kInbox));
  // Ids stay taken: the reservation made before still stores, no deleted id comes back.
  EXPECT_EQ(Status::kOk, s->AddMessage(kInbox, reserved, "r", 0, MessageFields(), nullptr));
  uint32_t fresh;
  ASSERT_EQ(Status::kOk, s->AddMessage(kInbox, kInvalidId, "f", 0, MessageFields(), &fresh));
  EXPECT_EQ(reserved + 1, fresh);
  EXPECT_EQ(Status::kOk, s->Compact());
  EXPECT_EQ(Listing(*s, kInbox), Listing(*other, kInbox));

  // Killed while appending the switching entry: the old store, whole.
  s.reset();
  other.reset();
  const std::string journal = before_switch.store() + "/journal.dat";
  const uint64_t old_length = fs::file_size(journal);
  fs::copy_file(dir.store() + "/journal.dat", journal, fs::copy_options::overwrite_existing);
  fs::resize_file(journal, old_length + 40);  // the deletion's entry was whole; the switch was not
  Status status;
  auto old = Store::Open(before_switch.store(), false, &status);
  ASSERT_TRUE(old);
  EXPECT_EQ(Status::kOk, status);
  EXPECT_EQ(kept, Listing(*old, kInbox));
}
