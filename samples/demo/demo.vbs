' pelkary demo: what a script can do with the local mail store through PELKARY.MXFolderManager.
' Run it with cscript (scripts/demo.sh does, after filling a sample store). Each part reports
' what it could not do and the demo goes on with the next one.
Option Explicit

Const MX_IBL_FIRST = 2
Const MX_IBL_NEXT = 4
Const MX_MSG_UNREAD = 2

Dim manager, problems
problems = 0

' Reports and clears a pending error; returns True when there was none.
Function Ok(what)
    If Err.Number = 0 Then
        Ok = True
    Else
        WScript.Echo "  (" & what & " did not work: &H" & Hex(Err.Number) & " " & Err.Source & " " & _
                     Trim(Err.Description) & ")"
        Err.Clear
        problems = problems + 1
        Ok = False
    End If
End Function

Function Priority(msg)
    Priority = "normal"
    If msg.HasHighPriority() = 1 Then Priority = "high"
    If msg.HasLowPriority() = 1 Then Priority = "low"
End Function

' The first line of the first text/plain body of a message, looking into multipart bodies.
Function FirstTextLine(msg)
    Dim handle, child, text
    FirstTextLine = ""
    handle = msg.GetPlainBody()
    If handle = 0 Then
        child = msg.GetBodyHandle(-1, MX_IBL_FIRST)
        Do While child <> 0
            If msg.IsBodyContentType(child, "text", "plain") = 1 Then
                handle = child
                Exit Do
            End If
            child = msg.GetBodyHandle(child, MX_IBL_NEXT)
        Loop
    End If
    If handle = 0 Then Exit Function
    text = Replace(msg.GetBodyText(handle), vbCr, "")
    Dim lines, line
    lines = Split(text, vbLf)
    For Each line In lines
        If Trim(line) <> "" Then
            FirstTextLine = Trim(line)
            Exit Function
        End If
    Next
End Function

Sub ShowTree()
    On Error Resume Next
    WScript.Echo "Folders (depth-first walk of the whole store):"
    Dim folder, count
    count = 0
    Set folder = manager.GetFirstFolder()
    If Not Ok("walking the folders") Then Exit Sub
    Do While Not folder Is Nothing
        If folder.IsNull() = 1 Then
            ' The root of the store has no store folder of its own, hence no counts.
            WScript.Echo "  " & Left(folder.Name() & Space(24), 24) & " id " & folder.GetID()
        Else
            WScript.Echo "  " & Left(folder.Name() & Space(24), 24) & " id " & Left(folder.GetID() & Space(6), 6) & _
                         folder.GetMessageCount() & " messages, " & folder.GetUnreadCount() & " unread"
        End If
        If Not Ok("reading a folder") Then Exit Sub
        count = count + 1
        If count > 200 Then Exit Do
        Set folder = manager.GetNextFolder()
        If Not Ok("walking the folders") Then Exit Sub
    Loop
End Sub

Sub ShowInbox()
    On Error Resume Next
    Dim inbox, msg, handle, names
    Set inbox = manager.GetInboxFolder()
    If Not Ok("opening the Inbox") Then Exit Sub
    WScript.Echo "Messages in " & inbox.Name() & ":"
    Set msg = inbox.GetFirstMessage()
    If Not Ok("reading the Inbox") Then Exit Sub
    Do While Not msg Is Nothing
        Dim unread
        unread = ""
        If (msg.GetState() And MX_MSG_UNREAD) <> 0 Then unread = " [unread]"
        WScript.Echo "  #" & msg.GetID() & unread & "  From: " & msg.GetDisplayFrom()
        WScript.Echo "      Subject: " & msg.GetSubject() & "  (" & msg.GetSourceLength() & " bytes, " & _
                     Priority(msg) & " priority)"
        WScript.Echo "      Text: " & FirstTextLine(msg)
        names = ""
        handle = msg.GetFirstAttachment()
        Dim guard
        guard = 0
        Do While handle <> 0 And guard < 50
            names = names & " " & msg.GetFilename(handle)
            handle = msg.GetNextAttachment()
            guard = guard + 1
        Loop
        If names <> "" Then WScript.Echo "      Attachments:" & names
        If Not Ok("reading a message") Then Exit Sub
        Set msg = inbox.GetNextMessage()
        If Not Ok("reading the Inbox") Then Exit Sub
    Loop
End Sub

Sub WriteAndRemove()
    On Error Resume Next
    Dim inbox, msg, id, before
    WScript.Echo "Storing a new message in the Inbox, marking it read, then deleting it for good:"
    Set inbox = manager.GetInboxFolder()
    before = inbox.GetMessageCount()
    Set msg = inbox.CreateMessage("From: Demo <demo@example.net>" & vbCrLf & "To: you@example.net" & vbCrLf & _
                                  "Subject: Written by demo.vbs" & vbCrLf & vbCrLf & "Hello from a script." & vbCrLf)
    If Not Ok("creating a message") Then Exit Sub
    If msg Is Nothing Then
        WScript.Echo "  (the store refused the new message)"
        Exit Sub
    End If
    id = msg.GetID()
    WScript.Echo "  stored as #" & id & "; the Inbox went from " & before & " to " & inbox.GetMessageCount() & _
                 " messages"
    WScript.Echo "  MarkAsRead: " & inbox.MarkAsRead(id) & ", unread now " & inbox.GetUnreadCount()
    WScript.Echo "  DeleteMessage(permanent): " & inbox.DeleteMessage(id, 1) & ", messages now " & _
                 inbox.GetMessageCount()
    Ok "changing the store"
End Sub

' ---- Messages: one header, the Inbox's attachments saved, a message built, committed into
' ---- Drafts and sent to the Outbox with the current user's default mail account.
Sub MessageWork()
    On Error Resume Next
    Dim inbox, msg, lines, i, fso, dir, handle, saved, note, file, drafts, made, shell, account
    Set inbox = manager.GetInboxFolder()
    Set msg = inbox.GetFirstMessage()
    If Not Ok("reading the Inbox") Then Exit Sub
    If Not msg Is Nothing Then
        WScript.Echo "The header of message #" & msg.GetID() & " (" & msg.GetHeaderLength() & " characters, first lines):"
        lines = Split(msg.GetHeader(), vbCrLf)
        For i = 0 To UBound(lines)
            If i >= 6 Then Exit For
            WScript.Echo "  | " & lines(i)
        Next
    End If

    Set fso = CreateObject("Scripting.FileSystemObject")
    dir = fso.BuildPath(fso.GetSpecialFolder(2), "pelkary-demo-attachments")
    If Not fso.FolderExists(dir) Then fso.CreateFolder dir
    saved = 0
    Do While Not msg Is Nothing
        handle = msg.GetFirstAttachment()
        Do While handle <> 0
            If msg.SaveBodyToFile(handle, dir, 1) = 1 Then
                WScript.Echo "  saved " & msg.GetFilename(handle) & " from #" & msg.GetID()
                saved = saved + 1
            End If
            handle = msg.GetNextAttachment()
        Loop
        Set msg = inbox.GetNextMessage()
    Loop
    WScript.Echo "  " & saved & " attachment(s) of the Inbox saved into " & dir
    If Not Ok("saving attachments") Then Exit Sub

    note = fso.BuildPath(dir, "demo-note.txt")
    Set file = fso.CreateTextFile(note, True)
    file.WriteLine "A note attached by demo.vbs."
    file.Close
    Set drafts = manager.GetDraftFolder()
    Set made = CreateObject("PELKARY.MXMessage")
    made.SetBodyText -1, "Hello," & vbCrLf & "this message was built by demo.vbs." & vbCrLf, "text", "plain"
    made.SetBodyPropByName -1, "Subject", "Built by demo.vbs"
    made.SetBodyPropByName -1, "To", "friend@example.net"
    made.AttachFile note
    made.SetFolderID drafts.GetID()
    WScript.Echo "Built a message with a text body and an attachment; Commit into " & drafts.Name() & ": " & _
                 made.Commit() & " (stored as #" & made.GetID() & ")"
    If Not Ok("building a message") Then Exit Sub

    ' Send needs a default mail account; a sample one is written when the user has none.
    Set shell = CreateObject("WScript.Shell")
    account = "HKCU\Software\Microsoft\Internet Account Manager\"
    shell.RegRead account & "Default Mail Account"
    If Err.Number <> 0 Then
        Err.Clear
        shell.RegWrite account & "Default Mail Account", "00000001", "REG_SZ"
        shell.RegWrite account & "Accounts\00000001\Account Name", "Demo Mail", "REG_SZ"
        WScript.Echo "  (no default mail account: wrote a sample one, ""Demo Mail"")"
    End If
    WScript.Echo "  Send: " & made.Send() & "; the Outbox now holds " & _
                 manager.GetOutboxFolder().GetMessageCount() & " message(s)"
    Ok "sending a message"
End Sub

Set manager = CreateObject("PELKARY.MXFolderManager")
WScript.Echo "Created PELKARY.MXFolderManager (" & TypeName(manager) & ")."
WScript.Echo ""
On Error Resume Next
ShowTree
WScript.Echo ""
ShowInbox
WScript.Echo ""
WriteAndRemove
WScript.Echo ""
MessageWork
On Error GoTo 0
WScript.Echo ""
If problems = 0 Then
    WScript.Echo "Done."
Else
    WScript.Echo "Done; " & problems & " part(s) could not run (see above)."
End If
