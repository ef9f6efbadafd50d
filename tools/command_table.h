// The store tool's commands, each named once: its forms and what they do (the help text), its
// usage line, the options it takes, how many words, and the function that runs it. Parsing, the
// help text and dispatch all read this one table.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "arguments.h"
#include "store_client.h"

namespace mxstore {

struct Command {
  struct Form {
    const char* text;  // "mkdir [-p] FOLDER"
    const char* help;  // what it does; '\n' between the lines of the help text
  };
  const wchar_t* name;
  std::vector<Form> forms;
  const char* synopsis;  // the usage line of a wrong command line, after "usage: mxstore "
  std::vector<std::wstring> flags, valued;  // options alone, options with a value
  size_t min_words, max_words;
  // True when options come before the words only: the first word ends them, so words may start
  // with "-" (a query's -word).
  bool options_first;
  // False: the store is connected but not opened (check and recover, on a store that may be damaged).
  bool open_store;
  // Checks of the command line beyond the counts, made before the store is touched; may be null.
  void (*check)(const Arguments& a, const std::string& usage);
  // Runs the command: its exit code, or a ToolFailure thrown.
  int (*run)(StoreClient& client, const Arguments& a);
};

class CommandTable {
 public:
  // The command named |name|; null when there is none.
  static const Command* Find(const std::wstring& name);
  // The help text: every form of every command, then how folders and the store are named.
  static std::string Help();
  // "usage: mxstore " and the command's synopsis.
  static std::string Usage(const Command& command);
  // The words and options of |args| (the command line after the command); a wrong command line
  // is a ToolFailure with code 2.
  static Arguments Parse(const Command& command, const std::vector<std::wstring>& args);

 private:
  static const std::vector<Command>& Commands();
};

}  // namespace mxstore
