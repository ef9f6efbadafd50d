// What a JScript author sees of Table: the two-dimensional array read through new VBArray(t)
// (dimensions, ubound, getItem(row, column)) with Unicode text whole. Run by Wine's cscript in a
// fresh store.
var failures = 0;
function check(what, ok) {
    if (!ok) { WScript.Echo("FAIL " + what); failures++; }
}
var store = new ActiveXObject("PELKARY.MXStore");
var inbox = new ActiveXObject("PELKARY.MXFolderManager").GetInboxFolder();
inbox.CreateMessage("Subject: =?UTF-8?B?5pel5pys6Kqe?= notes\r\n\r\nfirst\r\n");
inbox.CreateMessage("Subject: more notes\r\nX-Flag: 1\r\n\r\nsecond\r\n");

var t = new VBArray(store.Table("notes", "subject,id,unread"));
check("two dimensions", t.dimensions() == 2 && t.ubound(1) == 1 && t.ubound(2) == 2);
check("getItem(row, column), newest first", t.getItem(0, 0) == "more notes");
check("text outside the code page whole", t.getItem(1, 0) == String.fromCharCode(0x65E5, 0x672C, 0x8A9E) + " notes");
check("numbers and flags", typeof t.getItem(1, 1) == "number" && typeof t.getItem(1, 2) == "boolean");
check("no match: ubound(1) is -1", new VBArray(store.Table("absent-word", "id")).ubound(1) == -1);
if (failures > 0) WScript.Quit(1);
WScript.Echo("PASS");
