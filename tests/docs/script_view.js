// What a JScript author sees when calling pelkary, as docs/reference.md describes it (sections 1,
// 3 and 4). Run by Wine's cscript in a fresh store; exits 1 when a description is wrong.
var failures = 0;
function check(what, ok) {
    WScript.Echo((ok ? "ok   " : "FAIL ") + what);
    if (!ok) failures++;
}
function errorOf(call) {
    try { call(); } catch (e) { return e.number >>> 0; }
    return 0;
}

var root = new ActiveXObject("PELKARY.MXFolder");
check("a truth value is the number 1", root.IsNull() === 1);
check("a missing object is null", root.GetFirstMessage() === null);
check("a method without parentheses is a missing member (0x80020003)",
      errorOf(function () { return root.Name; }) == 0x80020003);

var msg = new ActiveXObject("PELKARY.MXMessage");
msg.SetBodyPropByName(-1, "Subject", "Quarterly figures");
check("any number for the [out] parameter gives the value",
      msg.GetBodyPropByName(-1, "Subject", 0) == "Quarterly figures" && msg.GetBodyProp(-1, 5, 0) == "Quarterly figures");
check("an absent property reads as the empty string", msg.GetBodyPropByName(-1, "X-Absent", 0) == "");
var names = [];
for (var n = msg.GetFirstBodyProp(-1, 0); n != ""; n = msg.GetNextBodyProp(0)) names.push(n);
check("the root body's property names can be listed", names.join(",") == "Subject");
check("leaving the [out] parameter out gives DISP_E_BADPARAMCOUNT",
      errorOf(function () { msg.GetBodyProp(-1, 5); }) == 0x8002000E);
check("an unknown method gives 0x800A01B6", errorOf(function () { msg.NoSuchMethod(); }) == 0x800A01B6);
check("a class that is not registered gives 0x800A01AD",
      errorOf(function () { new ActiveXObject("PELKARY.NoSuchClass"); }) == 0x800A01AD);

// An error that pelkary reports: with the folder class taken out of the registry the manager
// cannot make the Inbox's folder object; JScript sees REGDB_E_CLASSNOTREG itself.
var FOLDER_CLSID = "{CF358939-0DDE-42DE-B5CF-911B04316FC1}";
var shell = new ActiveXObject("WScript.Shell");
var manager = new ActiveXObject("PELKARY.MXFolderManager");
var server = shell.RegRead("HKCR\\CLSID\\" + FOLDER_CLSID + "\\InprocServer32\\");
shell.Run("reg delete HKCR\\CLSID\\" + FOLDER_CLSID + " /f", 0, true);
var failure = errorOf(function () { manager.GetInboxFolder(); });
shell.Run("regsvr32 /s \"" + server + "\"", 0, true);
check("a method that cannot make its object throws 0x80040154", failure == 0x80040154);
check("registered again, the method works", manager.GetInboxFolder().IsInbox() === 1);

if (failures > 0) WScript.Quit(1);
WScript.Echo("PASS");
