// What a JScript author sees of pelkary beyond what script_author.vbs checks: truth values are
// numbers, a method read as a property is a missing member (JScript asks for a property only), any
// number in an [out] parameter's place gives the value, and a file name outside the ANSI code page
// (写真.png under 1252, which only JScript can spell) is attached, read back and saved under its
// own name. And of the scripting library: For Each over a folder's messages, Item as the default
// member, and the changes after a cursor saved before another process delivered mail (search,
// lookups, dates and refused cursors are tests/scripting/store_test.cpp's). Run by Wine's cscript
// in a fresh store; the first argument is the folder of mxstore.exe.
var failures = 0;
function check(what, ok) {
    if (!ok) { WScript.Echo("FAIL " + what); failures++; }
}
function errorOf(call) {
    try { call(); } catch (e) { return e.number >>> 0; }
    return 0;
}

var root = new ActiveXObject("PELKARY.MXFolder");
check("a truth value is the number 1", root.IsNull() === 1);
check("a method without parentheses is a missing member (0x80020003)",
      errorOf(function () { return root.Name; }) == 0x80020003);

var msg = new ActiveXObject("PELKARY.MXMessage");
msg.SetBodyPropByName(-1, "Subject", "Quarterly figures");
check("any number for the [out] parameter gives the value",
      msg.GetBodyPropByName(-1, "Subject", 0) == "Quarterly figures" &&
      msg.GetBodyProp(-1, 5, 0) == "Quarterly figures");

var fso = new ActiveXObject("Scripting.FileSystemObject");
var dir = fso.BuildPath(fso.GetSpecialFolder(2).Path, fso.GetTempName());
fso.CreateFolder(dir);
fso.CreateFolder(fso.BuildPath(dir, "out"));
var name = String.fromCharCode(0x5199, 0x771F) + ".png";
var file = fso.CreateTextFile(fso.BuildPath(dir, name), true, true);
file.Write("pixels");
file.Close();
var body = msg.AttachFile(fso.BuildPath(dir, name));
check("the file is attached", body != 0);
check("its name reads back whole", msg.GetFilename(body) == name);
check("it saves under its own name", msg.SaveBodyToFile(body, fso.BuildPath(dir, "out"), 1) == 1);
var saved = fso.BuildPath(fso.BuildPath(dir, "out"), name);
check("the saved file holds the bytes",
      fso.FileExists(saved) && fso.OpenTextFile(saved, 1, false, -1).ReadAll() == "pixels");
fso.DeleteFolder(dir, true);

var manager = new ActiveXObject("PELKARY.MXFolderManager");
var inbox = manager.GetInboxFolder();
var store = new ActiveXObject("PELKARY.MXStore");
var cursor = store.ChangeCursor();
inbox.CreateMessage("Subject: first\r\n\r\nquarterly figures\r\n");
inbox.CreateMessage("Subject: second\r\n\r\nnothing\r\n");

var messages = store.Messages(inbox.GetID()), subjects = [];
for (var e = new Enumerator(messages); !e.atEnd(); e.moveNext()) subjects.push(e.item().GetSubject());
check("For Each walks the folder: " + subjects, subjects.join(",") == "first,second");
check("Item counts from 1 and is the default member", messages(2).GetSubject() == "second");
check("an index outside gives DISP_E_BADINDEX", errorOf(function () { messages.Item(3); }) == 0x8002000B);

// Another process delivers while this script only holds its cursor.
var shell = new ActiveXObject("WScript.Shell");
var eml = fso.BuildPath(fso.GetSpecialFolder(2), fso.GetTempName());
var out = fso.CreateTextFile(eml, true);
out.Write("Subject: delivered\r\nMessage-ID: <late@example.org>\r\n\r\nfrom elsewhere\r\n");
out.Close();
var tool = "Z:" + WScript.Arguments(0).replace(/\//g, "\\") + "\\mxstore.exe";
check("mxstore imported the message", shell.Run("\"" + tool + "\" import Inbox \"" + eml + "\"", 0, true) == 0);
fso.DeleteFile(eml);
check("WaitForChanges sees it", store.WaitForChanges(cursor, 5000) === true);

var kinds = [], last = null;
for (var c = new Enumerator(store.Changes(cursor)); !c.atEnd(); c.moveNext()) {
    last = c.item();
    kinds.push(last.Kind);
}
check("the changes since the saved cursor: " + kinds, kinds.join(",") == "MessageAdded,MessageAdded,MessageAdded");
var late = store.FindByMessageId("<late@example.org>");
check("the last change is the delivered message", late !== null && last.MessageId == late.GetID() &&
      last.FolderId == inbox.GetID());
check("nothing after the last change's cursor", store.Changes(last.Cursor).Count == 0);

if (failures > 0) WScript.Quit(1);
WScript.Echo("PASS");
