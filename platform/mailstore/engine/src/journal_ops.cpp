#include "journal_ops.h"

#include <type_traits>

#include "entry_decoder.h"

namespace mailstore {
namespace {

// Reads each field it is given from an entry; see EntryDecoder for damage.
class FieldReader {
 public:
  explicit FieldReader(EntryDecoder& d) : d_(d) {}
  void operator()(uint32_t& v) { v = d_.U32(); }
  void operator()(int& v) { v = static_cast<int>(d_.U32()); }
  void operator()(uint64_t& v) { v = d_.U64(); }
  void operator()(std::string_view& v) { v = d_.View(); }
  void operator()(RecordText& t) { RecordText::Fields(*this, t); }
  void operator()(HistoryKind& k) { k = static_cast<HistoryKind>(d_.U32()); }
  // A list keeps the items read before any damage.
  void operator()(std::vector<uint32_t>& ids) {
    uint32_t count = d_.U32();
    for (uint32_t i = 0; i < count && !d_.failed(); ++i) ids.push_back(d_.U32());
  }
  void operator()(std::vector<std::pair<uint32_t, uint32_t>>& pairs) {
    uint32_t count = d_.U32();
    for (uint32_t i = 0; i < count && !d_.failed(); ++i) {
      uint32_t a = d_.U32(), b = d_.U32();
      if (!d_.failed()) pairs.emplace_back(a, b);
    }
  }

 private:
  EntryDecoder& d_;
};

template <class Op>
void DecodeAndApply(EntryDecoder& d, OpSink& sink) {
  Op op;
  FieldReader r(d);
  Op::Fields(r, op);
  // The flag pairs before a cut are whole and still apply.
  if (!d.failed() || std::is_same_v<Op, SetFlagsOp>) sink.Apply(op);
}

}  // namespace

RecordText::RecordText(const MessageFields& f)
    : subject(f.subject),
      normalized_subject(f.normalized_subject),
      display_to(f.display_to),
      display_from(f.display_from),
      priority(f.priority),
      sent_time(f.sent_time) {}

RecordText::RecordText(const MessageRecord& r)
    : subject(r.subject()),
      normalized_subject(r.normalized_subject()),
      display_to(r.display_to()),
      display_from(r.display_from()),
      priority(r.priority),
      sent_time(r.sent_time) {}

void DecodeOps(const uint8_t* payload, size_t size, OpSink& sink) {
  EntryDecoder d(payload, size);
  while (!d.done() && !d.failed()) {
    switch (d.U8()) {
      case FolderCreateOp::kCode: DecodeAndApply<FolderCreateOp>(d, sink); break;
      case FolderRenameOp::kCode: DecodeAndApply<FolderRenameOp>(d, sink); break;
      case FolderMoveOp::kCode: DecodeAndApply<FolderMoveOp>(d, sink); break;
      case FolderDeleteOp::kCode: DecodeAndApply<FolderDeleteOp>(d, sink); break;
      case ReserveIdOp::kCode: DecodeAndApply<ReserveIdOp>(d, sink); break;
      case AddMessageOp::kCode: DecodeAndApply<AddMessageOp>(d, sink); break;
      case ReplaceSourceOp::kCode: DecodeAndApply<ReplaceSourceOp>(d, sink); break;
      case AddFramedMessageOp::kCode: DecodeAndApply<AddFramedMessageOp>(d, sink); break;
      case ReplaceFramedSourceOp::kCode: DecodeAndApply<ReplaceFramedSourceOp>(d, sink); break;
      case SnapshotOp::kCode: DecodeAndApply<SnapshotOp>(d, sink); break;
      case SnapshotEndOp::kCode: DecodeAndApply<SnapshotEndOp>(d, sink); break;
      case NextMessageIdOp::kCode: DecodeAndApply<NextMessageIdOp>(d, sink); break;
      case SetFlagsOp::kCode: DecodeAndApply<SetFlagsOp>(d, sink); break;
      case RemoveMessagesOp::kCode: DecodeAndApply<RemoveMessagesOp>(d, sink); break;
      case AddIndexedMessageOp::kCode: DecodeAndApply<AddIndexedMessageOp>(d, sink); break;
      case ReplaceIndexedSourceOp::kCode: DecodeAndApply<ReplaceIndexedSourceOp>(d, sink); break;
      case MessageIdOp::kCode: DecodeAndApply<MessageIdOp>(d, sink); break;
      case EntryTimeOp::kCode: DecodeAndApply<EntryTimeOp>(d, sink); break;
      case HistoryOp::kCode: DecodeAndApply<HistoryOp>(d, sink); break;
      case KeptChangeOp::kCode: DecodeAndApply<KeptChangeOp>(d, sink); break;
      default:
        // Operations carry no length: the rest of the entry cannot be read.
        return;
    }
  }
}

}  // namespace mailstore
