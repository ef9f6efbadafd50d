// find.js: finds messages by Message-ID and by subject, and writes their subjects, whole, to a
// UTF-8 file.
//
//   cscript //nologo find.js MESSAGE_ID SUBJECT_TEXT OUT_FILE
//
// MESSAGE_ID is looked up in the store's index (angle brackets optional); SUBJECT_TEXT is searched
// in the subjects of every folder, without regard to letter case. Command-line arguments reach a
// script through the ANSI code page, so SUBJECT_TEXT may write a character outside it as \uXXXX
// ("\u8b70\u4e8b" searches for the two characters U+8B70 U+4E8B on any system). OUT_FILE gets
// one line per message, "<folder id>/<message id> <subject>": the Message-ID's message first (or
// "not found"), then the search's, each line ending with CR LF, in UTF-8 without a byte-order mark.
//
// The subjects are read with MXStore.HeaderField, which keeps full Unicode; GetSubject would give
// them through the code page, with "?" for what it lacks. The console shows them through the code
// page too, so the file is where they are whole. JScript, not VBScript: Wine's VBScript has no
// ChrW or AscW to build or look at such text.
var USAGE = "usage: cscript //nologo find.js MESSAGE_ID SUBJECT_TEXT OUT_FILE";

var args = WScript.Arguments;
if (args.length != 3 || args(0) == "" || args(2) == "") {
    WScript.Echo(USAGE);
    WScript.Quit(2);
}
var messageId = args(0);
var wanted = args(1).replace(/\\u([0-9A-Fa-f]{4})/g, function (all, hex) {
    return String.fromCharCode(parseInt(hex, 16));
});
var fso = new ActiveXObject("Scripting.FileSystemObject");
var outPath = fso.GetAbsolutePathName(args(2));

var store;
try {
    store = new ActiveXObject("PELKARY.MXStore");
} catch (e) {
    WScript.Echo("error: cannot create PELKARY.MXStore (0x" + (e.number >>> 0).toString(16) +
                 "): is pelkary.dll registered?");
    WScript.Quit(1);
}

function Line(msg) {
    return msg.GetFolderID() + "/" + msg.GetID() + " " + store.HeaderField(msg, "Subject") + "\r\n";
}

var text = "";
var byId = store.FindByMessageId(messageId);
text += byId == null ? "not found\r\n" : Line(byId);
var found = store.Search(0, "Subject", wanted, true);
for (var e = new Enumerator(found); !e.atEnd(); e.moveNext())
    text += Line(e.item());

if (!WriteUtf8(outPath, text)) {
    WScript.Echo("error: cannot write " + outPath + "; check that its folder exists");
    WScript.Quit(1);
}
WScript.Echo("done: " + (byId == null ? 0 : 1) + " by Message-ID, " + found.Count +
             " by subject, written to " + outPath);
WScript.Quit(0);

// Writes text to path as UTF-8, byte for byte; false when it cannot.
//
// Wine's script host offers no UTF-8 writer: ADODB.Stream is there but cannot be used from a
// script (its type library is not registered: 0x8002801D), and FileSystemObject writes either the
// ANSI code page or UTF-16. Encoding UTF-8 by hand and writing the bytes as characters of an ANSI
// file is not exact either: the code page maps them back to bytes, and under a double-byte code
// page a lone byte above 0x7F is half a character (even 1252 has bytes it does not define). So
// the text goes through the MIME engine instead: the body of a new message, never stored, declared
// UTF-8, whose decoded content SaveBodyToFile writes as it is. The charset is checked, not assumed.
function WriteUtf8(path, content) {
    var msg = new ActiveXObject("PELKARY.MXMessage");
    msg.SetBodyPropByName(-1, "par:content-type:charset", "utf-8");
    if (msg.SetBodyText(-1, content, "text", "plain") != 1) return false;
    if (msg.GetBodyPropByName(-1, "par:content-type:charset", 0).toLowerCase() != "utf-8") return false;
    return msg.SaveBodyToFile(-1, path, 0) == 1;
}
