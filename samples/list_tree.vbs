' list_tree.vbs: prints the folder tree of the mail store with each folder's message and unread
' counts, indented by depth.
'
'   cscript //nologo list_tree.vbs
'
' The store is the one pelkary uses (MAILSTORE_DIR, else the configured or default store).
'
' The walk goes down from the root through each folder's own child walk
' (GetFirstChild/GetNextChild). A recursive walk knows the depth of every folder, which the
' manager's flat walk (GetFirstFolder/GetNextFolder) does not tell. Every folder object has its
' own child walk, so the walks of parent and child do not disturb each other.
Option Explicit

If WScript.Arguments.Count <> 0 Then
    WScript.Echo "usage: cscript //nologo list_tree.vbs"
    WScript.Quit 2
End If

Dim manager, folderCount, messageTotal, unreadTotal
folderCount = 0
messageTotal = 0
unreadTotal = 0

On Error Resume Next
Set manager = CreateObject("PELKARY.MXFolderManager")
If Err.Number <> 0 Then
    WScript.Echo "error: cannot create PELKARY.MXFolderManager (" & Err.Number & "): is pelkary.dll registered?"
    WScript.Quit 1
End If
On Error GoTo 0

' GetFolder(0) is the root of the store ("Local Folders"). It holds no messages itself: its
' counts are -1, so it is printed without them.
Dim root
Set root = manager.GetFolder(0)
WScript.Echo root.Name()
PrintChildren root, 1

WScript.Echo "done: " & folderCount & " folders, " & messageTotal & " messages, " & _
             unreadTotal & " unread"

' Prints every sub-folder of parent, each followed by its own sub-folders one level deeper.
Sub PrintChildren(parent, depth)
    Dim child, messages, unread
    Set child = parent.GetFirstChild()
    Do Until child Is Nothing
        messages = child.GetMessageCount()
        unread = child.GetUnreadCount()
        If messages < 0 Then
            ' -1: the store could not read the folder (it was deleted meanwhile, say).
            WScript.Echo Space(depth * 2) & child.Name() & " (counts not available)"
        Else
            WScript.Echo Space(depth * 2) & child.Name() & " (" & messages & " messages, " & _
                         unread & " unread)"
            messageTotal = messageTotal + messages
            unreadTotal = unreadTotal + unread
        End If
        folderCount = folderCount + 1
        PrintChildren child, depth + 1
        Set child = parent.GetNextChild()
    Loop
End Sub
