// What a JScript author sees of pelkary beyond what script_author.vbs checks: truth values are
// numbers, a method read as a property is a missing member (JScript asks for a property only), and
// any number in an [out] parameter's place gives the value. Run by Wine's cscript in a fresh store.
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

if (failures > 0) WScript.Quit(1);
WScript.Echo("PASS");
