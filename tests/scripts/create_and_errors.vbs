' The folder manager is created by its ProgID and answers late-bound calls; a call that fails
' reports its code, source and description through Err.
Option Explicit

Dim failures : failures = 0
Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Const MANAGER_CLSID = "{2781D6B0-B9B0-44B5-9142-34D1708EF169}"
Const FOLDER_CLSID = "{CF358939-0DDE-42DE-B5CF-911B04316FC1}"
Const REGDB_E_CLASSNOTREG = &H80040154

Dim shell : Set shell = CreateObject("WScript.Shell")
Dim manager : Set manager = CreateObject("PELKARY.MXFolderManager")
Check TypeName(manager) = "IMXFolderManager", "TypeName of the manager is " & TypeName(manager)

Dim inbox : Set inbox = manager.GetInboxFolder()
Check inbox.IsInbox() = 1, "the Inbox says it is the Inbox"
Check inbox.Name() <> "", "the Inbox has a name"
Set inbox = Nothing

' Take the folder class out of the registry: the manager can no longer make folders.
Dim server : server = shell.RegRead("HKCR\CLSID\" & MANAGER_CLSID & "\InprocServer32\")
Dim key
For Each key In Array("\InprocServer32\", "\TypeLib\", "\ProgID\", "\")
    shell.RegDelete "HKCR\CLSID\" & FOLDER_CLSID & key
Next

Dim number, source, description
On Error Resume Next
Set inbox = manager.GetInboxFolder()
number = Err.Number : source = Err.Source : description = Err.Description
Err.Clear
On Error GoTo 0
WScript.Echo "GetInboxFolder without the folder class: Err.Number=&H" & Hex(number) & _
             " Err.Source=""" & source & """ Err.Description=""" & description & """"

' Put the registration back before judging.
Dim status : status = shell.Run("regsvr32 /s """ & server & """", 0, True)
Check status = 0, "regsvr32 restored the registration (exit " & status & ")"

Check number = REGDB_E_CLASSNOTREG, "Err.Number is REGDB_E_CLASSNOTREG"
Check source = "MXFolderManager.GetInboxFolder", "Err.Source names class and method"
Check VarType(description) = vbString, "Err.Description is a string"

Set inbox = manager.GetInboxFolder()
Check inbox.IsInbox() = 1, "the Inbox is back once the class is registered again"

If failures > 0 Then WScript.Quit 1
WScript.Echo "PASS"
