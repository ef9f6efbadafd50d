#include "transfer_commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "comsupport/com_ptr.h"
#include "comsupport/stream_io.h"
#include "file_bytes.h"
#include "line_ends.h"
#include "mail_file.h"
#include "mbox_format.h"
#include "opened_folder.h"
#include "tool_failure.h"
#include "tool_text.h"

namespace mxstore {
namespace {

std::string MboxDate(const FILETIME& time) {
  SYSTEMTIME st;
  FileTimeToSystemTime(&time, &st);
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char date[64];
  snprintf(date, sizeof(date), "%s %s %2u %02u:%02u:%02u %04u", kDays[st.wDayOfWeek % 7],
           kMonths[(st.wMonth + 11) % 12], st.wDay, st.wHour, st.wMinute, st.wSecond, st.wYear);
  return date;
}

}  // namespace

int TransferCommands::Import(StoreClient& client, const Arguments& a) {
  OpenedFolder f = OpenedFolder::Open(client, a.words[0]);
  // Read and split everything first: a bad file stops the import before
  // anything is stored.
  std::vector<std::string> messages;
  for (const auto& file : a.rest(1)) {
    std::string data = FileBytes::Read(file);
    MailFile::Kind kind = MailFile::Classify(data);
    if (kind == MailFile::Kind::kNotMail && !a.flag(L"--force"))
      Fail("'" + ToolText::Ansi(file) + "' is not mail (neither an mbox nor a message that starts with a header "
           "field); nothing was imported; add --force to import it as one message");
    for (auto& m : MailFile::Messages(data, kind, a.flag(L"--keep-line-ends"))) messages.push_back(std::move(m));
  }
  const DWORD flags = MSG_RECEIVED | (a.flag(L"--read") ? 0 : MSG_UNREAD);
  const bool progress = messages.size() >= 100;
  const size_t step = messages.size() / 100 + 1;
  for (size_t i = 0; i < messages.size(); ++i) {
    pelkary::com_ptr<IStream> stream;
    MESSAGEID id;
    HRESULT hr = f.folder()->CreateStream(nullptr, 0, stream.put(), &id);
    if (SUCCEEDED(hr)) hr = pelkary::write_all(stream.get(), messages[i]);
    if (SUCCEEDED(hr)) hr = f.folder()->CommitStream(nullptr, 0, flags, stream.get(), id, nullptr);
    if (FAILED(hr)) {
      if (progress) fputc('\n', stderr);
      Fail("storing message " + std::to_string(i + 1) + " failed (" + ToolText::Hresult(hr) + ") after " +
           std::to_string(i) + " were imported; " + ToolText::WriteAdvice(hr));
    }
    if (progress && (i % step == 0 || i + 1 == messages.size()))
      fprintf(stderr, "\rimporting: %zu of %zu (%zu%%)", i + 1, messages.size(), (i + 1) * 100 / messages.size());
  }
  if (progress) fputc('\n', stderr);
  printf("imported %s into %s\n", ToolText::Plural(messages.size(), "message").c_str(), f.props().szName);
  return 0;
}

int TransferCommands::Export(StoreClient& client, const Arguments& a) {
  OpenedFolder f = OpenedFolder::Open(client, a.words[0]);
  const std::wstring* mbox = a.value(L"--mbox");
  const std::wstring* eml = a.value(L"--eml");
  const bool crlf = a.flag(L"--crlf");
  std::string all, source;
  if (eml && !CreateDirectoryW(eml->c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    Fail("cannot create directory '" + ToolText::Ansi(*eml) + "'; check that its parent exists");
  size_t exported = 0;
  for (const auto& m : f.List()) {
    if (!f.ReadSource(m.id, &source)) continue;  // deleted meanwhile
    if (mbox) {
      MboxFormat::Append(crlf ? LineEnds::ToCrlf(source) : LineEnds::ToLf(source), "MAILER-DAEMON",
                         MboxDate(m.sent), &all, crlf ? "\r\n" : "\n");
    } else {
      FileBytes::Write(*eml + L"\\" + std::to_wstring(m.id) + L".eml", source);
    }
    ++exported;
  }
  if (mbox) FileBytes::Write(*mbox, all);
  printf("exported %s\n", ToolText::Plural(exported, "message").c_str());
  return 0;
}

}  // namespace mxstore
