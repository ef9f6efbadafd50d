' rules.vbs: files new Inbox mail into folders by rules on sender and subject, as it arrives,
' until a stop file appears.
'
'   cscript //nologo rules.vbs STATE_DIR
'
' STATE_DIR holds the script's state: "cursor.txt", the point of the store's change history it
' has read up to, and "stop", a file that anyone may create to end the run (the script deletes it
' as it stops). The cursor is saved after every message, so a run that is stopped, killed or never
' started while mail comes misses nothing: the next run reads the history from the saved cursor
' (Changes) and only then waits for more (WaitForChanges). The first run, without a cursor file,
' files only what arrives from then on.
'
' When the history no longer reaches back to the saved cursor (the store keeps the last 10,000
' changes or those of the last 30 days, whichever are more), Changes fails with 0x80040210. The
' script then takes a new cursor first and applies the rules to every message in the Inbox, so
' that nothing that arrived meanwhile is left unfiled.
Option Explicit

' The rules, checked in order; the first that matches files the message. FIELD is "From" or
' "Subject" (or any other header field); the message matches when the field contains TEXT,
' whatever the letter case. FOLDER is a path from the top, created when missing.
'             FIELD      TEXT                FOLDER
Dim rules
rules = Array( _
    Array("From",    "billing@",         "Invoices"), _
    Array("Subject", "invoice",          "Invoices"), _
    Array("Subject", "[dev-list]",       "Lists/Dev"), _
    Array("From",    "@family.example",  "Inbox/Family"))

' How long one wait for new changes lasts, in milliseconds: how soon the stop file is noticed.
Const WAIT_MS = 500
Const HISTORY_GONE = &H80040210

If WScript.Arguments.Count <> 1 Then
    WScript.Echo "usage: cscript //nologo rules.vbs STATE_DIR"
    WScript.Quit 2
End If

Dim fso, stateDir, cursorPath, stopPath
Set fso = CreateObject("Scripting.FileSystemObject")
stateDir = fso.GetAbsolutePathName(WScript.Arguments(0))
If Not fso.FolderExists(stateDir) Then
    WScript.Echo "error: no directory " & stateDir & " for the script's state; create it first"
    WScript.Quit 1
End If
cursorPath = fso.BuildPath(stateDir, "cursor.txt")
stopPath = fso.BuildPath(stateDir, "stop")

Dim store, manager, inboxId, inbox
On Error Resume Next
Set store = CreateObject("PELKARY.MXStore")
Set manager = CreateObject("PELKARY.MXFolderManager")
If Err.Number <> 0 Then
    WScript.Echo "error: cannot create pelkary's objects (" & Err.Number & "): is pelkary.dll registered?"
    WScript.Quit 1
End If
On Error GoTo 0
Set inbox = manager.GetInboxFolder()              ' opened once: a folder object costs milliseconds
inboxId = inbox.GetID()

Dim cursor, filed, changes, change, code
filed = 0
If fso.FileExists(cursorPath) Then
    cursor = Trim(fso.OpenTextFile(cursorPath).ReadLine())
    WScript.Echo "resuming from the saved cursor"
Else
    cursor = TakeCursor()
    SaveCursor
    WScript.Echo "first run: filing mail that arrives from now on"
End If

Do
    ' Read everything after the cursor, oldest first; then stop or wait for more.
    On Error Resume Next
    Set changes = store.Changes(cursor)
    code = Err.Number
    On Error GoTo 0
    If code = HISTORY_GONE Then
        WScript.Echo "the change history no longer reaches the saved cursor: filing the whole Inbox"
        cursor = TakeCursor()
        SaveCursor
        Dim msg
        For Each msg In store.Messages(inboxId)
            FileMessage msg
        Next
    ElseIf code <> 0 Then
        WScript.Echo "error: Changes failed (0x" & Hex(code) & ")"
        WScript.Quit 1
    Else
        For Each change In changes
            If change.Kind = "MessageAdded" And change.FolderId = inboxId Then
                ' Nothing when the message has left the Inbox since (filed by an earlier run).
                FileMessage inbox.GetMessage(change.MessageId)
            End If
            cursor = change.Cursor
            SaveCursor
        Next
    End If
    If fso.FileExists(stopPath) Then Exit Do
    store.WaitForChanges cursor, WAIT_MS
Loop
fso.DeleteFile stopPath
WScript.Echo "done: filed " & filed & " messages"
WScript.Quit 0

' Applies the first rule that matches msg (an Inbox message, or Nothing) and moves it there.
Sub FileMessage(msg)
    Dim rule, value, target
    If msg Is Nothing Then Exit Sub
    For Each rule In rules
        value = store.HeaderField(msg, rule(0))
        If InStr(1, value, rule(1), vbTextCompare) > 0 Then
            target = FolderByPath(rule(2))
            If target = -1 Then
                WScript.Echo "cannot create the folder " & rule(2) & "; message " & msg.GetID() & " stays"
            ElseIf manager.MoveMessage(inboxId, target, msg.GetID()) = 1 Then
                filed = filed + 1
                WScript.Echo "filed " & msg.GetID() & " into " & rule(2) & ": " & msg.GetSubject()
            End If
            Exit Sub
        End If
    Next
End Sub

' The id of the folder at path ("Lists/Dev": names from the top, letter case ignored), created
' where missing; -1 when it cannot be made.
Function FolderByPath(path)
    Dim name, parent, child, found
    Set parent = CreateObject("PELKARY.MXFolder")   ' the root
    For Each name In Split(path, "/")
        found = -1
        Set child = parent.GetFirstChild()
        Do Until child Is Nothing
            If StrComp(child.Name(), name, vbTextCompare) = 0 Then found = child.GetID()
            Set child = parent.GetNextChild()
        Loop
        If found = -1 Then found = parent.CreateFolder(name)
        If found = -1 Then
            FolderByPath = -1
            Exit Function
        End If
        Set parent = manager.GetFolder(found)
    Next
    FolderByPath = found
End Function

Function TakeCursor()
    On Error Resume Next
    TakeCursor = store.ChangeCursor()
    If Err.Number <> 0 Then
        WScript.Echo "error: this store keeps no change history (0x" & Hex(Err.Number) & ")"
        WScript.Quit 1
    End If
End Function

' Written whole each time: the file holds one line, the cursor.
Sub SaveCursor()
    Dim file
    Set file = fso.CreateTextFile(cursorPath, True)
    file.WriteLine cursor
    file.Close
End Sub
