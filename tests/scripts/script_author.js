// What a JScript author sees of pelkary beyond what script_author.vbs checks: truth values are
// numbers, a method read as a property is a missing member (JScript asks for a property only), any
// number in an [out] parameter's place gives the value, and a file name outside the ANSI code page
// (写真.png under 1252, which only JScript can spell) is attached, read back and saved under its
// own name. Run by Wine's cscript in a fresh store.
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

if (failures > 0) WScript.Quit(1);
WScript.Echo("PASS");
