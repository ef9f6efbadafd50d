' report.vbs: a one-page report of the mailbox - messages per folder, how many are unread, the ten
' largest messages and the top senders of the last 30 days - from MXStore's Count and Table alone,
' so that it takes a moment on a mailbox of any size: no message object is made.
'
'   cscript //nologo report.vbs
Option Explicit

If WScript.Arguments.Count <> 0 Then
    WScript.Echo "usage: cscript //nologo report.vbs"
    WScript.Quit 2
End If

Dim store, total, t, r, i, perFolder, unreadPerFolder, folders, senders, addresses, top, line
Set store = CreateObject("PELKARY.MXStore")
total = store.Count("*")
WScript.Echo "Mailbox report, " & FormatDateTime(Now, vbLongDate)
WScript.Echo ""

' Messages per folder: one row per message with its folder's path and state.
Set perFolder = CreateObject("Scripting.Dictionary")
Set unreadPerFolder = CreateObject("Scripting.Dictionary")
t = store.Table("*", "folder,unread")
For r = 0 To UBound(t, 1)
    perFolder(t(r, 0)) = perFolder(t(r, 0)) + 1
    If t(r, 1) Then unreadPerFolder(t(r, 0)) = unreadPerFolder(t(r, 0)) + 1
Next
WScript.Echo "Messages per folder"
folders = Sorted(perFolder.Keys)
For i = 0 To UBound(folders)
    WScript.Echo "  " & Pad(folders(i), 30) & Right(Space(8) & perFolder(folders(i)), 8) & _
                 "  (" & (0 + unreadPerFolder(folders(i))) & " unread)"
Next
WScript.Echo "  " & Pad("All folders", 30) & Right(Space(8) & total, 8) & _
             "  (" & store.Count("is:unread") & " unread)"
WScript.Echo ""

' The ten largest: the size column scanned once, keeping the rows of the ten largest so far.
t = store.Table("*", "size,received,fromaddress,subject")
Dim largest(9), kept, j    ' Dim a() then ReDim a(9) stops Wine's VBScript engine
kept = 0
For r = 0 To UBound(t, 1)
    If kept < 10 Then
        kept = kept + 1
        j = kept - 1
    ElseIf t(r, 0) > t(largest(9), 0) Then
        j = 9
    Else
        j = -1
    End If
    If j >= 0 Then
        Do While j > 0
            If t(largest(j - 1), 0) >= t(r, 0) Then Exit Do
            largest(j) = largest(j - 1)
            j = j - 1
        Loop
        largest(j) = r
    End If
Next
WScript.Echo "The ten largest messages"
For i = 0 To kept - 1
    r = largest(i)
    WScript.Echo "  " & Right(Space(10) & t(r, 0), 10) & "  " & FormatDateTime(t(r, 1), vbShortDate) & "  " & _
                 Pad(t(r, 2), 28) & "  " & t(r, 3)
Next
WScript.Echo ""

' Top senders of the last 30 days, by the number of messages received from each.
Set senders = CreateObject("Scripting.Dictionary")
senders.CompareMode = vbTextCompare
t = store.Table("received:30d", "fromaddress")
For r = 0 To UBound(t, 1)
    If t(r, 0) <> "" Then senders(t(r, 0)) = senders(t(r, 0)) + 1
Next
WScript.Echo "Top senders of the last 30 days"
addresses = senders.Keys
For i = 1 To 10
    top = -1
    For j = 0 To UBound(addresses)
        If Not IsEmpty(addresses(j)) Then
            If top < 0 Then
                top = j
            ElseIf senders(addresses(j)) > senders(addresses(top)) Or (senders(addresses(j)) = senders(addresses(top)) _
                   And StrComp(addresses(j), addresses(top), vbTextCompare) < 0) Then
                top = j
            End If
        End If
    Next
    If top < 0 Then Exit For
    WScript.Echo "  " & Right(Space(6) & senders(addresses(top)), 6) & "  " & addresses(top)
    addresses(top) = Empty
Next
WScript.Echo ""
WScript.Echo "done: " & total & " messages in " & perFolder.Count & " folders"

' `text` cut or filled with spaces to `width` characters.
Function Pad(text, width)
    If Len(text) > width Then Pad = Left(text, width - 1) & "~" Else Pad = text & Space(width - Len(text))
End Function

' The strings of `items` in text order (an insertion sort: a mailbox has few folders).
Function Sorted(items)
    Dim list, a, b, x
    list = items
    For a = 1 To UBound(list)
        x = list(a)
        b = a - 1
        Do While b >= 0
            If StrComp(list(b), x, vbTextCompare) <= 0 Then Exit Do
            list(b + 1) = list(b)
            b = b - 1
        Loop
        list(b + 1) = x
    Next
    Sorted = list
End Function
