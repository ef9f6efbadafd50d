' export_eml.vbs: saves each message of a folder as DIR\<id>.eml, the message's raw source
' exactly as the store keeps it.
'
'   cscript //nologo export_eml.vbs FOLDER DIR
'
' FOLDER is a folder id (as list_tree.vbs or "mxstore folders" show), a path of names from the
' top ("Lists/2019"), or the name of any folder in the tree ("Family"; the first one found wins).
' Names ignore letter case. DIR is created when it does not exist (its parent must exist).
' An export run again over the same DIR replaces the files it wrote before.
'
' Why SaveAsFile: it writes the stored bytes unchanged. The alternative, GetAllSource plus a
' FileSystemObject text file, passes the source through a script string: the text stops at
' the first NUL byte and bytes outside the ANSI code page do not come back as they were.
' SaveAsFile *appends* to an existing file, so each file is deleted first; otherwise a second
' export would leave two copies of the message in one file.
Option Explicit

If WScript.Arguments.Count <> 2 Then
    WScript.Echo "usage: cscript //nologo export_eml.vbs FOLDER_NAME_OR_ID DIR"
    WScript.Quit 2
End If

Dim manager, fso, folder, dir
Set fso = CreateObject("Scripting.FileSystemObject")

On Error Resume Next
Set manager = CreateObject("PELKARY.MXFolderManager")
If Err.Number <> 0 Then
    WScript.Echo "error: cannot create PELKARY.MXFolderManager (" & Err.Number & "): is pelkary.dll registered?"
    WScript.Quit 1
End If
On Error GoTo 0

Set folder = FindFolder(manager, WScript.Arguments(0))
If folder Is Nothing Then
    WScript.Echo "error: no folder '" & WScript.Arguments(0) & "' in the store; list_tree.vbs lists them"
    WScript.Quit 1
End If

dir = FullPath(WScript.Arguments(1))
If Not fso.FolderExists(dir) Then
    On Error Resume Next
    fso.CreateFolder dir
    If Err.Number <> 0 Then
        WScript.Echo "error: cannot create directory " & dir & "; check that its parent exists"
        WScript.Quit 1
    End If
    On Error GoTo 0
End If

Dim msg, path, exported, failed
exported = 0
failed = 0
Set msg = folder.GetFirstMessage()
Do Until msg Is Nothing
    path = fso.BuildPath(dir, msg.GetID() & ".eml")
    If SaveMessage(msg, path) Then
        WScript.Echo "saved " & path & "  " & msg.GetSubject()
        exported = exported + 1
    Else
        WScript.Echo "could not write " & path
        failed = failed + 1
    End If
    Set msg = folder.GetNextMessage()
Loop

If failed > 0 Then
    WScript.Echo "done: exported " & exported & " messages of " & folder.Name() & " to " & dir & _
                 ", " & failed & " could not be written"
    WScript.Quit 1
End If
WScript.Echo "done: exported " & exported & " messages of " & folder.Name() & " to " & dir

' Writes the message's source into a new file at path; False when the old file cannot be
' removed or the new one cannot be written.
Function SaveMessage(msg, path)
    SaveMessage = False
    On Error Resume Next
    If fso.FileExists(path) Then fso.DeleteFile path, True
    If Err.Number <> 0 Then Exit Function   ' appending to the old file would corrupt it
    On Error GoTo 0
    msg.GetContentReset                      ' write from the first byte of the source
    SaveMessage = (msg.SaveAsFile(path) = 1)
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

' The folder named by wanted (an id, a path or a name), or Nothing. The root (id 0) holds no messages and is refused.
Function FindFolder(manager, wanted)
    Dim digits, f, parts, part, child, found, i
    Set FindFolder = Nothing
    Set digits = New RegExp
    digits.Pattern = "^[0-9]{1,9}$"
    If digits.Test(wanted) Then
        Set f = manager.GetFolder(CLng(wanted))
        If f.IsNull() = 0 Then Set FindFolder = f   ' IsNull 1: unknown id, or the root
        Exit Function
    End If

    ' A path from the top, one child walk per level.
    parts = Split(Replace(wanted, "\", "/"), "/")
    Set f = manager.GetFolder(0)
    found = True
    For i = 0 To UBound(parts)
        part = parts(i)
        Set child = f.GetFirstChild()
        Do Until child Is Nothing
            If LCase(child.Name()) = LCase(part) Then Exit Do
            Set child = f.GetNextChild()
        Loop
        If child Is Nothing Then
            found = False
            Exit For
        End If
        Set f = child
    Next
    If found And UBound(parts) >= 0 Then
        Set FindFolder = f
        Exit Function
    End If

    ' A single name: look through the whole tree.
    If UBound(parts) = 0 Then
        Set f = manager.GetFirstFolder()
        Do Until f Is Nothing
            If f.GetID() <> 0 And LCase(f.Name()) = LCase(wanted) Then
                Set FindFolder = f
                Exit Function
            End If
            Set f = manager.GetNextFolder()
        Loop
    End If
End Function
