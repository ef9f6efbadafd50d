' The folder manager is created by its ProgID and answers late-bound calls; a call that fails
' reports its code, source and description through Err. The script unregisters the server for
' one call and registers it again before it ends.
Option Explicit

Dim failures : failures = 0
Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Const MANAGER_CLSID = "{2781D6B0-B9B0-44B5-9142-34D1708EF169}"
' VBScript reports REGDB_E_CLASSNOTREG (&H80040154) under its own number 429, "ActiveX component
' can't create object"; the source is still the failing method's.
Const VBS_CANT_CREATE_OBJECT = 429

Dim shell : Set shell = CreateObject("WScript.Shell")
Dim manager : Set manager = CreateObject("PELKARY.MXFolderManager")
Check TypeName(manager) = "IMXFolderManager", "TypeName of the manager is " & TypeName(manager)

Dim inbox : Set inbox = manager.GetInboxFolder()
Check inbox.IsInbox() = 1, "the Inbox says it is the Inbox"
Check inbox.Name() <> "", "the Inbox has a name"
Set inbox = Nothing

' Unregistered, the server can no longer make folders through the COM runtime; the manager
' already serves late-bound calls.
Dim server : server = shell.RegRead("HKCR\CLSID\" & MANAGER_CLSID & "\InprocServer32\")
Dim status : status = shell.Run("regsvr32 /s /u """ & server & """", 0, True)
Check status = 0, "regsvr32 /u (exit " & status & ")"

Dim number, source, description
On Error Resume Next
Set inbox = manager.GetInboxFolder()
number = Err.Number : source = Err.Source : description = Err.Description
Err.Clear
On Error GoTo 0
WScript.Echo "GetInboxFolder while unregistered: Err.Number=&H" & Hex(number) & _
             " Err.Source=""" & source & """ Err.Description=""" & description & """"

' Register again before judging.
status = shell.Run("regsvr32 /s """ & server & """", 0, True)
Check status = 0, "regsvr32 restored the registration (exit " & status & ")"

Check number = VBS_CANT_CREATE_OBJECT, "Err.Number is 429 (class not registered)"
Check source = "MXFolderManager.GetInboxFolder", "Err.Source names class and method"
Check VarType(description) = vbString, "Err.Description is a string"

Set inbox = manager.GetInboxFolder()
Check inbox.IsInbox() = 1, "the Inbox is back once the server is registered again"

If failures > 0 Then WScript.Quit 1
WScript.Echo "PASS"
