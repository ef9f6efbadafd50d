#include "command_table.h"

#include <algorithm>
#include <cstdint>

#include "folder_commands.h"
#include "maintenance_commands.h"
#include "message_commands.h"
#include "search_commands.h"
#include "tool_failure.h"
#include "tool_text.h"
#include "transfer_commands.h"

namespace mxstore {
namespace {

constexpr size_t kHelpColumn = 30;  // where the help of each form starts

const char kHelpEnd[] =
    "FOLDER is a path of names from the top (\"Inbox\", \"Archive/2024\"); inside a name \"\\/\" is\n"
    "a \"/\", \"\\\\\" a \"\\\" and \"\\#\" a \"#\". \"#7\" is the folder with id 7 (quote it in a Unix\n"
    "shell). A path that is one number is the top-level folder of that name if there is one,\n"
    "else the folder with that id. IDs of messages are the numbers 'mxstore list' shows.\n"
    "The store is --store DIR, else %MAILSTORE_DIR%, else the configured or default store.\n";

void CheckExport(const Arguments& a, const std::string& usage) {
  if (!a.value(L"--mbox") == !a.value(L"--eml") || (a.flag(L"--crlf") && !a.value(L"--mbox"))) Misuse(usage);
}

void CheckRemove(const Arguments& a, const std::string& usage) {
  if (a.flag(L"-r") && a.words.size() > 1) Misuse("-r is for folders, not messages; " + usage);
}

int Remove(StoreClient& client, const Arguments& a) {
  return a.words.size() == 1 ? FolderCommands::Remove(client, a) : MessageCommands::Remove(client, a);
}

int Move(StoreClient& client, const Arguments& a) {
  return a.words.size() == 2 ? FolderCommands::Move(client, a) : MessageCommands::Move(client, a);
}

}  // namespace

const std::vector<Command>& CommandTable::Commands() {
  static const std::vector<Command> kCommands = {
      {L"folders", {{"folders", "list the folder tree with message counts and ids"}}, "folders",
       {}, {}, 0, 0, false, true, nullptr, FolderCommands::Folders},
      {L"list", {{"list FOLDER", "list the messages of a folder"}}, "list FOLDER",
       {}, {}, 1, 1, false, true, nullptr, MessageCommands::List},
      {L"cat", {{"cat FOLDER ID", "write one message's source to standard output"}}, "cat FOLDER ID",
       {}, {}, 2, 2, false, true, nullptr, MessageCommands::Cat},
      {L"mkdir", {{"mkdir [-p] FOLDER", "create a folder (-p: with its missing parents)"}}, "mkdir [-p] FOLDER",
       {L"-p"}, {}, 1, 1, false, true, nullptr, FolderCommands::Mkdir},
      {L"import",
       {{"import FOLDER FILE... [--read] [--keep-line-ends] [--force]",
         "import .eml and mbox files into a folder; bare LF line ends\n"
         "are stored as CR LF unless --keep-line-ends; a file that is\n"
         "neither is refused unless --force (then it is one message)"}},
       "import FOLDER FILE... [--read] [--keep-line-ends] [--force]",
       {L"--read", L"--keep-line-ends", L"--force"}, {}, 2, SIZE_MAX, false, true, nullptr,
       TransferCommands::Import},
      {L"export",
       {{"export FOLDER --mbox FILE [--crlf]",
         "write a folder's messages into one mbox file, with LF line\n"
         "ends (--crlf: CR LF)"},
        {"export FOLDER --eml DIR", "write a folder's messages as DIR\\<id>.eml, as stored"}},
       "export FOLDER --mbox FILE [--crlf] | --eml DIR",
       {L"--crlf"}, {L"--mbox", L"--eml"}, 1, 1, false, true, CheckExport, TransferCommands::Export},
      {L"rm",
       {{"rm FOLDER ID...",
         "delete messages (into the deleted-items folder; from there,\n"
         "for good)"},
        {"rm [-r] FOLDER", "delete an empty folder (-r: with all it holds, for good)"}},
       "rm FOLDER ID... | rm [-r] FOLDER", {L"-r"}, {}, 1, SIZE_MAX, false, true, CheckRemove, Remove},
      {L"mv",
       {{"mv FOLDER ID... TOFOLDER", "move messages into another folder"},
        {"mv FOLDER NEWPATH",
         "move a folder into NEWPATH when that is a folder, else\n"
         "rename and move it so that its path becomes NEWPATH"}},
       "mv FOLDER ID... TOFOLDER | mv FOLDER NEWPATH", {}, {}, 2, SIZE_MAX, false, true, nullptr, Move},
      {L"find",
       {{"find MESSAGE-ID",
         "print the folder and id of the message with that Message-ID\n"
         "(angle brackets optional; of several, the one stored last)"}},
       "find MESSAGE-ID", {}, {}, 1, 1, false, true, nullptr, MessageCommands::Find},
      {L"search",
       {{"search [--count | --columns LIST] [--limit N] QUERY...",
         "list the messages that match QUERY, newest first: one line\n"
         "each, the columns separated by a tab (default: folder, id,\n"
         "date, from, subject; also fromaddress, to, received, size,\n"
         "unread, flagged, attachments, messageid); --count prints the\n"
         "number alone; --limit the newest N only. QUERY: words (all\n"
         "must match), \"a phrase\", OR, NOT or -word, ( ), and fields\n"
         "from: to: cc: subject: body: filename: id: folder:PATH\n"
         "folder:#ID date:FROM..TO received:FROM..TO is:unread is:read\n"
         "is:flagged has:attachment larger:10k smaller:2M (exit 2 for a\n"
         "malformed query)"}},
       "search [--count | --columns LIST] [--limit N] QUERY...",
       {L"--count"}, {L"--columns", L"--limit"}, 1, SIZE_MAX, true, true, SearchCommands::CheckSearch,
       SearchCommands::Search},
      {L"reindex", {{"reindex", "rebuild the search index from the store's mail"}}, "reindex",
       {}, {}, 0, 0, false, true, nullptr, SearchCommands::Reindex},
      {L"check",
       {{"check",
         "verify the store's index, its Message-IDs and change history,\n"
         "every message and the search index; one line per finding\n"
         "(exit 0 when sound, 1 when damaged)"}},
       "check", {}, {}, 0, 0, false, false, nullptr, MaintenanceCommands::Check},
      {L"compact",
       {{"compact",
         "give the space of mail deleted for good back to the disk and\n"
         "shorten the index, keeping the last 10,000 changes or those of\n"
         "the last 30 days, whichever are more"}},
       "compact", {}, {}, 0, 0, false, true, nullptr, MaintenanceCommands::Compact},
      {L"recover",
       {{"recover",
         "rebuild the index of a damaged store from what it still holds,\n"
         "Message-IDs read from the sources, with a new change history\n"
         "(the old index is kept as journal.damaged); run it while no\n"
         "other program uses the store"}},
       "recover", {}, {}, 0, 0, false, false, nullptr, MaintenanceCommands::Recover},
  };
  return kCommands;
}

const Command* CommandTable::Find(const std::wstring& name) {
  for (const Command& c : Commands())
    if (name == c.name) return &c;
  return nullptr;
}

std::string CommandTable::Help() {
  std::string out = "usage: mxstore [--store DIR] COMMAND ...\n";
  const std::string indent(kHelpColumn, ' ');
  for (const Command& c : Commands()) {
    for (const Command::Form& form : c.forms) {
      std::string line = std::string("  ") + form.text;
      if (line.size() < kHelpColumn)
        line.resize(kHelpColumn, ' ');
      else
        line += "\n" + indent;
      for (const char* p = form.help; *p; ++p) line += *p == '\n' ? "\n" + indent : std::string(1, *p);
      out += line + "\n";
    }
  }
  return out + kHelpEnd;
}

std::string CommandTable::Usage(const Command& command) {
  return std::string("usage: mxstore ") + command.synopsis;
}

Arguments CommandTable::Parse(const Command& command, const std::vector<std::wstring>& args) {
  const std::string usage = Usage(command);
  auto knows = [](const std::vector<std::wstring>& options, const std::wstring& a) {
    return std::find(options.begin(), options.end(), a) != options.end();
  };
  Arguments out;
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    if (options && a == L"--") {
      options = false;
    } else if (options && a.size() > 1 && a[0] == L'-') {
      if (knows(command.flags, a)) {
        out.flags.insert(a);
      } else if (knows(command.valued, a)) {
        if (i + 1 == args.size()) Misuse(ToolText::Ansi(a) + " needs a value; " + usage);
        out.values[a] = args[++i];
      } else {
        Misuse("no option " + ToolText::Ansi(a) + " here; " + usage);
      }
    } else {
      out.words.push_back(a);
      if (command.options_first) options = false;
    }
  }
  if (out.words.size() < command.min_words || out.words.size() > command.max_words) Misuse(usage);
  if (command.check) command.check(out, usage);
  return out;
}

}  // namespace mxstore
