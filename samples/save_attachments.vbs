' save_attachments.vbs: saves every attachment of every Inbox message into one directory.
'
'   cscript //nologo save_attachments.vbs DIR
'
' DIR is created when it does not exist (its parent must exist). Each attachment is saved under
' its own file name (GetFilename), decoded, byte for byte:
'   - SaveBodyToFile(handle, DIR, 1) names the file itself. It keeps only the last part of a
'     name that carries a path ("..\..\x.txt" is saved as x.txt, inside DIR) and refuses names
'     Windows cannot use for a file (CON, names with * or ?, ...).
'   - When two attachments of the Inbox have the same name, the later one is saved as
'     <message id>-<name>, so neither is lost.
'   - An attachment without a usable name is saved as <message id>-attachment<n>.bin, n counting
'     the attachments of that message from 1.
' Files already in DIR from an earlier run are replaced.
Option Explicit

If WScript.Arguments.Count <> 1 Then
    WScript.Echo "usage: cscript //nologo save_attachments.vbs DIR"
    WScript.Quit 2
End If

Dim manager, fso, inbox, dir, used
Set fso = CreateObject("Scripting.FileSystemObject")
Set used = CreateObject("Scripting.Dictionary")
used.CompareMode = 1   ' text: Windows file names ignore letter case

On Error Resume Next
Set manager = CreateObject("PELKARY.MXFolderManager")
If Err.Number <> 0 Then
    WScript.Echo "error: cannot create PELKARY.MXFolderManager (" & Err.Number & "): is pelkary.dll registered?"
    WScript.Quit 1
End If
On Error GoTo 0

Set inbox = manager.GetInboxFolder()
If inbox.IsNull() = 1 Then
    WScript.Echo "error: the store's Inbox cannot be opened"
    WScript.Quit 1
End If

dir = FullPath(WScript.Arguments(0))
If Not fso.FolderExists(dir) Then
    On Error Resume Next
    fso.CreateFolder dir
    If Err.Number <> 0 Then
        WScript.Echo "error: cannot create directory " & dir & "; check that its parent exists"
        WScript.Quit 1
    End If
    On Error GoTo 0
End If

Dim msg, handle, n, name, target, saved, failed, messages
saved = 0
failed = 0
messages = 0
Set msg = inbox.GetFirstMessage()
Do Until msg Is Nothing
    messages = messages + 1
    n = 0
    handle = msg.GetFirstAttachment()
    Do While handle <> 0
        n = n + 1
        name = LeafName(msg.GetFilename(handle))
        target = ""
        If name <> "" And Not used.Exists(name) Then
            If msg.SaveBodyToFile(handle, dir, 1) = 1 Then target = name
        End If
        If target = "" Then
            ' The name was taken by an earlier attachment, or it is missing or refused.
            If name <> "" And used.Exists(name) Then
                target = msg.GetID() & "-" & name
            Else
                target = msg.GetID() & "-attachment" & n & ".bin"
            End If
            If msg.SaveBodyToFile(handle, fso.BuildPath(dir, target), 0) = 0 Then target = ""
        End If

        If target = "" Then
            WScript.Echo "could not save attachment " & n & " (" & msg.GetFilename(handle) & _
                         ") of message " & msg.GetID()
            failed = failed + 1
        Else
            used(target) = True
            WScript.Echo "saved " & target & "  (message " & msg.GetID() & ": " & msg.GetSubject() & ")"
            saved = saved + 1
        End If
        handle = msg.GetNextAttachment()
    Loop
    Set msg = inbox.GetNextMessage()
Loop

If failed > 0 Then
    WScript.Echo "done: saved " & saved & " attachments of " & messages & " messages into " & dir & _
                 ", " & failed & " could not be saved"
    WScript.Quit 1
End If
WScript.Echo "done: saved " & saved & " attachments of " & messages & " messages into " & dir

' The file name SaveBodyToFile(h, DIR, 1) uses for an attachment named name: its last path
' component without trailing dots and spaces.
Function LeafName(name)
    Dim slash
    slash = InStrRev(Replace(name, "/", "\"), "\")
    LeafName = Mid(name, slash + 1)
    Do While Len(LeafName) > 0 And (Right(LeafName, 1) = "." Or Right(LeafName, 1) = " ")
        LeafName = Left(LeafName, Len(LeafName) - 1)
    Loop
End Function

' The full form of a path from the command line; a relative path starts at the current
' directory. (FileSystemObject.GetAbsolutePathName would do, but under Wine it drops the last
' part of the path.)
Function FullPath(p)
    Dim rooted
    Set rooted = New RegExp
    rooted.Pattern = "^([A-Za-z]:)?\\"
    FullPath = Replace(p, "/", "\")
    If Not rooted.Test(FullPath) Then
        FullPath = fso.BuildPath(CreateObject("WScript.Shell").CurrentDirectory, FullPath)
    End If
    If Len(FullPath) > 3 And Right(FullPath, 1) = "\" Then FullPath = Left(FullPath, Len(FullPath) - 1)
End Function
