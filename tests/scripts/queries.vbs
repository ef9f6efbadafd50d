' What a VBScript author sees of the scripting library's queries and actions (version 1.1), as
' docs/reference.md describes them: Table's array read with UBound and t(row, column) and its
' types, the empty array, Count, For Each over Query, Item, FolderByPath, Move, and the errors
' that name the problem (Err.Number and Err.Description). Run by Wine's cscript in a fresh store.
Option Explicit
Dim failures : failures = 0
Sub Check(what, ok)
    If Not ok Then WScript.Echo "FAIL " & what : failures = failures + 1
End Sub

Dim store, manager, inbox, archive, i, t, msg, n, moved, number, description
Set store = CreateObject("PELKARY.MXStore")
Set manager = CreateObject("PELKARY.MXFolderManager")
Set inbox = manager.GetInboxFolder()
For i = 1 To 3
    inbox.CreateMessage "From: Ann <ann@example.org>" & vbCrLf & "Subject: report " & i & vbCrLf & _
                        "Date: Tue, 15 Dec 2026 12:00:0" & i & " +0000" & vbCrLf & vbCrLf & "quarterly figures"
Next

t = store.Table("report", "id, subject, date, size, unread, fromaddress")
Check "a row per match, a column per name", UBound(t, 1) = 2 And UBound(t, 2) = 5
Check "newest first", t(0, 1) = "report 3" And t(2, 1) = "report 1"
Check "ids are Longs, dates Dates, sizes Longs, flags Booleans", TypeName(t(0, 0)) = "Long" And _
      TypeName(t(0, 2)) = "Date" And TypeName(t(0, 3)) = "Long" And TypeName(t(0, 4)) = "Boolean"
Check "a Date computes", Year(t(0, 2)) = 2026 And t(0, 5) = "ann@example.org"
Check "the limit is optional, 1 gives one row", UBound(store.Table("report", "id", 1), 1) = 0
t = store.Table("nothing-matches-this", "id")
Check "no match: UBound(t, 1) is -1", UBound(t, 1) = -1
Check "Count", store.Count("report") = 3 And store.Count("figures -report") = 0

n = 0
For Each msg In store.Query("report")
    n = n + 1
    If n = 1 Then Check "Query's items are MXMessage objects", msg.GetSubject() = "report 3"
Next
Check "For Each over Query", n = 3
t = store.Table("report", "folderid,id", 1)
Check "Item opens a row's message", store.Item(t(0, 0), t(0, 1)).GetSubject() = "report 3"
Check "Item of no message is Nothing", store.Item(t(0, 0), 999999) Is Nothing

manager.CreateFolder 0, "Archive"
Set archive = store.FolderByPath("archive")
Check "FolderByPath", Not archive Is Nothing And store.FolderByPath("Archive/2024") Is Nothing
Set moved = store.Move(store.Item(t(0, 0), t(0, 1)), archive.GetID())
Check "Move gives the moved message", moved.GetFolderID() = archive.GetID() And moved.GetSubject() = "report 3"
Check "and it is found in its new folder", store.Count("report folder:Archive") = 1

On Error Resume Next
t = store.Table("report", "id,sender")
number = Err.Number : description = Err.Description
Err.Clear
Check "an unknown column is E_INVALIDARG naming it", number = &H80070057 And InStr(description, """sender""") > 0
store.Send inbox.CreateMessage("Subject: nobody" & vbCrLf & vbCrLf & "x")
number = Err.Number : description = Err.Description
Err.Clear
Check "Send says why: " & description, number = &H80004005 And InStr(description, "recipient") > 0
On Error GoTo 0

If failures > 0 Then WScript.Quit 1
WScript.Echo "PASS"
