// What a JScript author sees of the scripting library: For Each over a folder's messages, Item as
// the default member, and the changes after a cursor saved before another process delivered mail
// (search, lookups, dates and refused cursors are store_test.cpp's). Run by Wine's cscript in a
// fresh store; the first argument is the folder of mxstore.exe.
var failed = [];
function check(what, ok) { if (!ok) failed.push(what); }
// The HRESULT a call threw (JScript's e.number), or 0.
function errorOf(call) { try { call(); return 0; } catch (e) { return e.number >>> 0; } }

var manager = new ActiveXObject("PELKARY.MXFolderManager");
var inbox = manager.GetInboxFolder();
var store = new ActiveXObject("PELKARY.MXStore");
var saved = store.ChangeCursor();
inbox.CreateMessage("Subject: first\r\n\r\nquarterly figures\r\n");
inbox.CreateMessage("Subject: second\r\n\r\nnothing\r\n");

var messages = store.Messages(inbox.GetID()), subjects = [];
for (var e = new Enumerator(messages); !e.atEnd(); e.moveNext()) subjects.push(e.item().GetSubject());
check("For Each walks the folder: " + subjects, subjects.join(",") == "first,second");
check("Item counts from 1 and is the default member", messages(2).GetSubject() == "second");
check("an index outside gives DISP_E_BADINDEX", errorOf(function () { messages.Item(3); }) == 0x8002000B);

// Another process delivers while this script only holds its cursor.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var shell = new ActiveXObject("WScript.Shell");
var file = fso.BuildPath(fso.GetSpecialFolder(2), fso.GetTempName());
var out = fso.CreateTextFile(file, true);
out.Write("Subject: delivered\r\nMessage-ID: <late@example.org>\r\n\r\nfrom elsewhere\r\n");
out.Close();
var tool = "Z:" + WScript.Arguments(0).replace(/\//g, "\\") + "\\mxstore.exe";
check("mxstore imported the message", shell.Run("\"" + tool + "\" import Inbox \"" + file + "\"", 0, true) == 0);
fso.DeleteFile(file);
check("WaitForChanges sees it", store.WaitForChanges(saved, 5000) === true);

var kinds = [], last = null;
for (var c = new Enumerator(store.Changes(saved)); !c.atEnd(); c.moveNext()) {
    last = c.item();
    kinds.push(last.Kind);
}
check("the changes since the saved cursor: " + kinds, kinds.join(",") == "MessageAdded,MessageAdded,MessageAdded");
var late = store.FindByMessageId("<late@example.org>");
check("the last change is the delivered message", late !== null && last.MessageId == late.GetID() &&
      last.FolderId == inbox.GetID());
check("nothing after the last change's cursor", store.Changes(last.Cursor).Count == 0);

for (var i = 0; i < failed.length; i++) WScript.Echo("FAIL " + failed[i]);
WScript.Echo(failed.length ? "FAILED" : "PASS");
