' What a script author sees of folders and the folder manager, late-bound through cscript:
' the whole-tree walk and its restart, folder changes by id and by folder, null folders,
' messages copied and moved between folders. Exits 1 on the first failed check.
Option Explicit

Dim failures : failures = 0
Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAILED: " & what
        failures = failures + 1
    End If
End Sub
Sub CheckEq(expected, actual, what)
    Check CStr(expected) = CStr(actual), what & ": expected [" & expected & "], got [" & actual & "]"
End Sub

' The names of the walk from the root to its end.
Function WalkNames(manager)
    Dim f, names, guard
    Set f = manager.GetFirstFolder()
    names = ""
    guard = 0
    Do While Not f Is Nothing And guard < 100
        If names <> "" Then names = names & ","
        names = names & f.Name()
        Set f = manager.GetNextFolder()
        guard = guard + 1
    Loop
    WalkNames = names
End Function

Const Specials = "Local Folders,Inbox,Outbox,Sent Items,Deleted Items,Drafts"

Dim m : Set m = CreateObject("PELKARY.MXFolderManager")

' --- Build a tree T(A(A1), B) and walk it -------------------------------------------------------
Dim t, a, a1, b
t = m.CreateFolder(0, "T")
a = m.CreateFolder(t, "A")
a1 = m.CreateFolder(a, "A1")
b = m.CreateFolder(t, "B")
Check t > 0 And a > 0 And a1 > 0 And b > 0, "folders created"
CheckEq Specials & ",T,A,A1,B", WalkNames(m), "walk order"
Check m.GetCurrentFolder() Is Nothing, "no current folder after the walk's end"
CheckEq "Local Folders", m.GetNextFolder().Name(), "the walk starts again at the root"
CheckEq "Inbox", m.GetNextFolder().Name(), "then the Inbox"

' --- The root --------------------------------------------------------------------------------
Dim root : Set root = m.GetFolder(0)
CheckEq 0, root.GetID(), "root id"
CheckEq 1, root.IsNull(), "root IsNull"
CheckEq -1, root.GetMessageCount(), "root message count"
CheckEq 0, root.Rename("x"), "root cannot be renamed"
Check root.GetFirstMessage() Is Nothing, "root has no messages"
CheckEq "Inbox", root.GetFirstChild().Name(), "root's first child"
Dim loose : Set loose = CreateObject("PELKARY.MXFolder")
CheckEq "Local Folders", loose.Name(), "a folder made by a script answers as the root"

' --- Special folders ----------------------------------------------------------------------------
Dim inbox : Set inbox = m.GetInboxFolder()
CheckEq "Inbox", inbox.Name(), "inbox name"
CheckEq 1, inbox.IsInbox(), "IsInbox"
CheckEq 0, inbox.IsDraft(), "IsDraft of the inbox"
CheckEq 1, m.GetDraftFolder().IsDraft(), "IsDraft"
CheckEq 1, m.GetDeletedFolder().IsDeleted(), "IsDeleted"

' --- Changes by id and by folder ------------------------------------------------------------------
CheckEq 1, m.RenameFolder(b, "B" & Chr(233) & "t" & Chr(252)), "rename through the manager"
CheckEq "B" & Chr(233) & "t" & Chr(252), m.GetFolder(b).Name(), "a name outside ASCII comes back"
CheckEq 1, m.MoveFolder(b, a1), "move B under A1"
CheckEq Specials & ",T,A,A1,B" & Chr(233) & "t" & Chr(252), WalkNames(m), "walk after the move"
Dim fa : Set fa = m.GetFolder(a)
CheckEq 1, fa.GetSubFolderCount(), "A has one child"
Dim c : c = fa.CreateFolder("C")
Check c > 0, "A creates a sub-folder"
CheckEq 2, fa.GetSubFolderCount(), "A has two children"
CheckEq 1, m.GetFolder(c).Delete(), "C deletes itself"
CheckEq 0, m.RenameFolder(0, "x"), "root rename by id"
CheckEq 0, m.DeleteFolder(0), "root delete by id"
CheckEq -1, m.CreateFolder(987654, "x"), "create under a missing parent"

' --- DeleteFolder keeps the walk valid --------------------------------------------------------
Dim f : Set f = m.GetFirstFolder()
Do While f.GetID() <> a
    Set f = m.GetNextFolder()
Loop
CheckEq 1, m.DeleteFolder(a), "delete the walk's current folder"
CheckEq a1, m.GetCurrentFolder().GetID(), "the walk moved into A's first child"
CheckEq Specials & ",T", WalkNames(m), "A and its sub-tree are gone"

' --- A folder the store lacks ----------------------------------------------------------------
Dim missing : Set missing = m.GetFolder(987654)
Check Not missing Is Nothing, "GetFolder never answers Nothing"
CheckEq 1, missing.IsNull(), "missing IsNull"
CheckEq 987654, missing.GetID(), "missing keeps its id"
CheckEq "", missing.Name(), "missing has no name"
CheckEq -1, missing.GetUnreadCount(), "missing unread count"
CheckEq -1, missing.CreateFolder("x"), "missing creates nothing"

' --- Messages between folders --------------------------------------------------------------------
Dim src, dst, fsrc, msg
src = m.CreateFolder(0, "Src")
dst = m.CreateFolder(0, "Dst")
Set fsrc = m.GetFolder(src)
Set msg = fsrc.CreateMessage("Subject: hi" & vbCrLf & vbCrLf & "body" & vbCrLf)
Check Not msg Is Nothing, "CreateMessage answers the new message"
CheckEq 1, fsrc.GetMessageCount(), "one message in Src"
CheckEq 0, m.CopyMessage(987654, dst, 1), "copy from a missing folder"
CheckEq 0, m.MoveMessage(src, 987654, 1), "move to a missing folder"
CheckEq 1, fsrc.GetMessageCount(), "nothing moved"
Dim mid, haveId
On Error Resume Next
mid = msg.GetID()
haveId = (Err.Number = 0)
On Error GoTo 0
If haveId Then
    CheckEq 1, m.CopyMessage(src, dst, mid), "copy"
    CheckEq 1, fsrc.GetMessageCount(), "the copy leaves the source"
    CheckEq 1, m.GetFolder(dst).GetMessageCount(), "the copy reaches the target"
    CheckEq 1, m.MoveMessage(src, dst, mid), "move"
    CheckEq 0, fsrc.GetMessageCount(), "the move empties the source"
    CheckEq 2, m.GetFolder(dst).GetMessageCount(), "the move reaches the target"
    CheckEq 0, m.MoveMessage(src, dst, mid), "the moved message is no longer in the source"
End If

If failures > 0 Then
    WScript.Echo failures & " check(s) failed"
    WScript.Quit 1
End If
WScript.Echo "folders.vbs: all checks passed"
WScript.Echo "PASS"
