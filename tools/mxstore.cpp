// mxstore: fills a mail store and gets mail out of it, through the store's
// own COM interfaces (so what it does is exactly what any client could do,
// and other processes on the store are notified as for any client). The
// commands are in CommandTable.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "command_table.h"
#include "store_client.h"
#include "tool_failure.h"
#include "tool_text.h"

using mxstore::CommandTable;

namespace {

int Run(std::vector<std::wstring> args) {
  std::wstring store;
  if (args.size() >= 2 && args[0] == L"--store") {
    store = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty() || args[0] == L"help" || args[0] == L"--help" || args[0] == L"/?") {
    fputs(CommandTable::Help().c_str(), stdout);
    return args.empty() ? 2 : 0;
  }
  const mxstore::Command* command = CommandTable::Find(args[0]);
  if (!command) mxstore::Misuse("no command '" + mxstore::ToolText::Ansi(args[0]) + "'; run mxstore help for the list");
  // The command line is checked whole before the store is touched.
  const mxstore::Arguments a = CommandTable::Parse(*command, std::vector<std::wstring>(args.begin() + 1, args.end()));
  mxstore::StoreClient client;
  std::string error;
  if (!client.Connect(store, &error, command->open_store)) mxstore::Fail(error);
  return command->run(client, a);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int status;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    fputs("mxstore: cannot start COM; check the Windows installation\n", stderr);
    return 1;
  }
  try {
    status = Run(std::vector<std::wstring>(argv + 1, argv + argc));
  } catch (const mxstore::ToolFailure& f) {
    fprintf(stderr, "mxstore: %s\n", f.text.c_str());
    status = f.code;
  } catch (const std::exception& e) {
    fprintf(stderr, "mxstore: stopped: %s; nothing more was done, retry the command\n", e.what());
    status = 1;
  }
  CoUninitialize();
  return status;
}
