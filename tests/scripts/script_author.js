// What a JScript author sees when calling pelkary, as docs/reference.md describes it: numbers for
// truth values, null for a missing object and at the end of a walk, [out] parameters, and errors
// as exceptions whose number is the HRESULT. Run by Wine's cscript in a fresh store.
var failures = 0;
function check(what, ok) {
    if (!ok) { WScript.Echo("FAIL " + what); failures++; }
}
function errorOf(call) {
    try { call(); } catch (e) { return e.number >>> 0; }
    return 0;
}

var manager = new ActiveXObject("PELKARY.MXFolderManager");
var root = new ActiveXObject("PELKARY.MXFolder");
check("a truth value is the number 1", root.IsNull() === 1);
check("a missing object is null", root.GetFirstMessage() === null);
check("a method without parentheses is a missing member (0x80020003)",
      errorOf(function () { return root.Name; }) == 0x80020003);
var names = [];
for (var f = manager.GetFirstFolder(); f !== null; f = manager.GetNextFolder()) names.push(f.Name());
check("a walk ends with null: " + names,
      names.join(",") == "Local Folders,Inbox,Outbox,Sent Items,Deleted Items,Drafts");

var msg = new ActiveXObject("PELKARY.MXMessage");
msg.SetBodyPropByName(-1, "Subject", "Quarterly figures");
check("any number for the [out] parameter gives the value",
      msg.GetBodyPropByName(-1, "Subject", 0) == "Quarterly figures" &&
      msg.GetBodyProp(-1, 5, 0) == "Quarterly figures");
check("an absent property reads as the empty string", msg.GetBodyPropByName(-1, "X-Absent", 0) == "");
check("leaving the [out] parameter out gives DISP_E_BADPARAMCOUNT",
      errorOf(function () { msg.GetBodyProp(-1, 5); }) == 0x8002000E);
check("an unknown method gives 0x800A01B6", errorOf(function () { msg.NoSuchMethod(); }) == 0x800A01B6);

// An error that pelkary reports: with the folder class taken out of the registry the manager
// cannot make the Inbox's folder object; JScript sees REGDB_E_CLASSNOTREG itself.
var FOLDER_CLSID = "{CF358939-0DDE-42DE-B5CF-911B04316FC1}";
var shell = new ActiveXObject("WScript.Shell");
var server = shell.RegRead("HKCR\\CLSID\\" + FOLDER_CLSID + "\\InprocServer32\\");
shell.Run("reg delete HKCR\\CLSID\\" + FOLDER_CLSID + " /f", 0, true);
var failure = errorOf(function () { manager.GetInboxFolder(); });
shell.Run("regsvr32 /s \"" + server + "\"", 0, true);
check("a method that cannot make its object throws 0x80040154", failure == 0x80040154);
check("registered again, the method works", manager.GetInboxFolder().IsInbox() === 1);

if (failures > 0) WScript.Quit(1);
WScript.Echo("PASS");
