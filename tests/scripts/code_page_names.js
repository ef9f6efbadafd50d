// A script author's file name outside the ANSI code page (写真.png under 1252): attached, read back
// and saved under its own name. JScript, since only it can spell such a name (String.fromCharCode).
var failures = 0;
function check(what, ok) {
    if (!ok) { WScript.Echo("FAIL " + what); failures++; }
}
var fso = new ActiveXObject("Scripting.FileSystemObject");
var dir = fso.BuildPath(fso.GetSpecialFolder(2).Path, fso.GetTempName());
fso.CreateFolder(dir);
fso.CreateFolder(fso.BuildPath(dir, "out"));
var name = String.fromCharCode(0x5199, 0x771F) + ".png";
var file = fso.CreateTextFile(fso.BuildPath(dir, name), true, true);
file.Write("pixels");
file.Close();

var msg = new ActiveXObject("PELKARY.MXMessage");
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
