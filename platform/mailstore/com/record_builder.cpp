#include "record_builder.h"

#include "comsupport/text.h"
#include "mimeengine/mail_time.h"
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
  if (summary.has_date) mimeengine::filetime_ticks_from_unix(summary.sent_time, &fields.sent_time);
  return fields;
}

}  // namespace mailstore_com
