// The folder manager is created by its ProgID and answers late-bound calls; a call that fails
// throws an Error whose number is the HRESULT. The script unregisters the server for one call
// and registers it again before it ends.
var failures = 0;
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAIL: " + what);
        failures++;
    }
}

var MANAGER_CLSID = "{2781D6B0-B9B0-44B5-9142-34D1708EF169}";
var REGDB_E_CLASSNOTREG = 0x80040154;

var shell = new ActiveXObject("WScript.Shell");
var manager = new ActiveXObject("PELKARY.MXFolderManager");
var inbox = manager.GetInboxFolder();
check(inbox.IsInbox() === 1, "the Inbox says it is the Inbox");
check(manager.GetFolder(inbox.GetID()).GetID() === inbox.GetID(), "GetFolder by the Inbox's id");
inbox = null;

// Unregistered, the server can no longer make folders through the COM runtime; the manager
// already serves late-bound calls.
var server = shell.RegRead("HKCR\\CLSID\\" + MANAGER_CLSID + "\\InprocServer32\\");
var unregistered = shell.Run("regsvr32 /s /u \"" + server + "\"", 0, true);
check(unregistered === 0, "regsvr32 /u (exit " + unregistered + ")");

var caught = null;
try {
    manager.GetInboxFolder();
} catch (e) {
    caught = e;
} finally {
    var status = shell.Run("regsvr32 /s \"" + server + "\"", 0, true);
    check(status === 0, "regsvr32 restored the registration (exit " + status + ")");
}
check(caught !== null, "GetInboxFolder throws while the server is unregistered");
if (caught !== null) {
    WScript.Echo("GetInboxFolder while unregistered: number=0x" + (caught.number >>> 0).toString(16) +
                 " description=\"" + caught.description + "\"");
    check((caught.number >>> 0) === REGDB_E_CLASSNOTREG, "e.number is REGDB_E_CLASSNOTREG");
    check(typeof caught.description === "string", "e.description is a string");
}
check(manager.GetInboxFolder().IsInbox() === 1, "the Inbox is back once the server is registered again");

if (failures > 0) WScript.Quit(1);
WScript.Echo("PASS");
