' What a VBScript author sees when calling pelkary, as docs/reference.md describes it: truth values,
' Nothing for a missing object (the end of a walk too), [out] parameters, and the errors that
' the runtime and pelkary report. Run by Wine's cscript in a fresh store; exits 1 on a wrong one.
Option Explicit
Dim failures : failures = 0
Sub Check(what, ok)
    If Not ok Then WScript.Echo "FAIL " & what : failures = failures + 1
End Sub

Dim manager, root, folder, msg, value, missing
Set manager = CreateObject("PELKARY.MXFolderManager")
Set root = CreateObject("PELKARY.MXFolder")
Check "a truth value is a Long 1, so Not gives -2", TypeName(root.IsNull()) = "Long" And (Not root.IsNull()) = -2
Check "a folder made directly is the root, called with or without parentheses", _
      root.GetID() = 0 And root.Name() = "Local Folders" And root.Name = "Local Folders"
Check "the root answers Nothing for its first message", root.GetFirstMessage() Is Nothing

Set msg = CreateObject("PELKARY.MXMessage")
Check "setting a property by name works", msg.SetBodyPropByName(-1, "Subject", "Quarterly figures") = 1

' The scripting library's dates are Dates a script computes with; Null where a message has none.
Dim store, dated, undated
Set store = CreateObject("PELKARY.MXStore")
Set folder = manager.GetInboxFolder()
Set dated = folder.CreateMessage("Date: Tue, 15 Dec 2026 12:00:00 +0000" & vbCrLf & "Subject: d" & vbCrLf & vbCrLf & "x")
Set undated = folder.CreateMessage("Subject: u" & vbCrLf & vbCrLf & "x")
value = store.SentDate(dated)
Check "SentDate is a Date", TypeName(value) = "Date" And Year(value) = 2026 And Month(value) = 12 And Day(value) = 15
Check "without a Date field SentDate is Null", IsNull(store.SentDate(undated))
Check "ReceivedDate is the Date it was stored", Abs(Now - store.ReceivedDate(dated)) < 5 / 1440
On Error Resume Next
value = msg.GetBodyPropByName(-1, "Subject", missing)
Check "a variable for the [out] parameter gives Type mismatch (13)", Err.Number = 13
Err.Clear
value = msg.GetBodyPropByName(-1, "Subject", 0)
Check "0 in its place gives the value", Err.Number = 0 And value = "Quarterly figures"
value = msg.GetBodyPropByName(-1, "Subject", (missing))
Check "a variable in parentheses gives the value", Err.Number = 0 And value = "Quarterly figures"
value = msg.GetBodyProp(-1, 5)
Check "leaving the [out] parameter out gives 450", Err.Number = 450
Err.Clear
value = msg.NoSuchMethod()
Check "an unknown method gives 438", Err.Number = 438
Err.Clear

' An error that pelkary reports: with the folder class taken out of the registry the manager
' cannot make the Inbox's folder object (REGDB_E_CLASSNOTREG, which VBScript shows as 429).
Const FOLDER_CLSID = "{CF358939-0DDE-42DE-B5CF-911B04316FC1}"
Dim shell, server, number, source
Set shell = CreateObject("WScript.Shell")
server = shell.RegRead("HKCR\CLSID\" & FOLDER_CLSID & "\InprocServer32\")
shell.Run "reg delete HKCR\CLSID\" & FOLDER_CLSID & " /f", 0, True
Set folder = manager.GetInboxFolder()
number = Err.Number : source = Err.Source
Err.Clear
shell.Run "regsvr32 /s """ & server & """", 0, True
' With the other architecture's registration of the class still there (its own registry view), the
' runtime's look for a local server, which reads both views, reports REGDB_E_KEYMISSING instead.
Check "a method that cannot make its object gives 429", number = 429 Or number = &H80040152
Check "Err.Source names the class and the method", source = "MXFolderManager.GetInboxFolder"
Set folder = manager.GetInboxFolder()
Check "registered again, the method works", Err.Number = 0 And folder.IsInbox() = 1
On Error GoTo 0

If failures > 0 Then WScript.Quit 1
WScript.Echo "PASS"
