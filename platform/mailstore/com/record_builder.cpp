#include "record_builder.h"

#include "comsupport/text.h"
#include "mimeengine/summary.h"

namespace mailstore_com {

mailstore::MessageFields BuildRecordFields(const std::string& source) {
  mimeengine::MessageSummary summary = mimeengine::summarize(source);
  mailstore::MessageFields fields;
  fields.subject = pelkary::utf8_to_ansi(summary.subject);
  fields.normalized_subject = pelkary::utf8_to_ansi(summary.normalized_subject);
  fields.display_to = pelkary::utf8_to_ansi(summary.display_to);
  fields.display_from = pelkary::utf8_to_ansi(summary.display_from);
  fields.priority = summary.priority;
  if (summary.has_date && summary.sent_time > -11644473600LL)
    fields.sent_time = static_cast<uint64_t>(summary.sent_time + 11644473600LL) * 10000000ull;
  return fields;
}

}  // namespace mailstore_com
