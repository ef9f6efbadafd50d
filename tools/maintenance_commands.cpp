#include "maintenance_commands.h"

#include <cstdio>
#include <string>

#include "comsupport/com_ptr.h"
#include "comsupport/text.h"
#include "comsupport/unique_bstr.h"
#include "tool_failure.h"
#include "tool_text.h"

namespace mxstore {
namespace {

// check: the findings on standard output, 1 when there are any. recover: the summary.
int Maintain(StoreClient& client, bool recover) {
  pelkary::com_ptr<IStoreMaintenance> maintenance;
  if (FAILED(client.ns()->QueryInterface(IID_IStoreMaintenance, maintenance.put_void())))
    Fail("this mail store server cannot check or recover stores; install the one beside the tool");
  pelkary::unique_bstr text;
  HRESULT hr = recover ? maintenance->RecoverStore(text.put()) : maintenance->CheckStore(text.put());
  if (hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) Fail("there is no store there; name one with --store DIR");
  if (hr == E_ACCESSDENIED) Fail("the store cannot be written; check the permissions of its directory and files");
  if (FAILED(hr))
    Fail(std::string(recover ? "cannot recover" : "cannot check") + " the store (" + ToolText::Hresult(hr) +
         "); check the disk");
  const std::string out = pelkary::bstr_to_ansi(text.get());
  if (recover) {
    printf("%s\n", out.c_str());
    return 0;
  }
  fputs(out.empty() ? "the store is sound\n" : out.c_str(), stdout);
  return hr == S_OK ? 0 : 1;
}

}  // namespace

int MaintenanceCommands::Check(StoreClient& client, const Arguments&) { return Maintain(client, false); }

int MaintenanceCommands::Recover(StoreClient& client, const Arguments&) { return Maintain(client, true); }

int MaintenanceCommands::Compact(StoreClient& client, const Arguments&) {
  HRESULT hr = client.ns()->CompactAll(0);
  if (FAILED(hr)) Fail("cannot compact the store (" + ToolText::Hresult(hr) + "); " + ToolText::WriteAdvice(hr));
  printf("compacted the store\n");
  return 0;
}

}  // namespace mxstore
