' MXMessage as a VBScript author meets it: reading a message in pieces until the empty string,
' the header and body split, content types and text, and building, committing and cloning a
' message. Runs in a fresh store of its own; exits 1 on the first failed check.
Option Explicit

Dim failures : failures = 0
Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAILED: " & what
        failures = failures + 1
    End If
End Sub

Dim manager, inbox, drafts, msg, piece, whole, pieces, src, body, i
Set manager = CreateObject("PELKARY.MXFolderManager")
Set inbox = manager.GetInboxFolder()
Set drafts = manager.GetDraftFolder()

body = ""
For i = 1 To 40
    body = body & "Line " & i & " of a message read in pieces." & vbCrLf
Next
src = "From: Ann <ann@example.org>" & vbCrLf & "Subject: Pieces" & vbCrLf & vbCrLf & body
Set msg = inbox.CreateMessage(src)
Check Not (msg Is Nothing), "CreateMessage gave a message"

' Read in pieces until "", twice: the empty piece starts the next walk over.
Dim walk
For walk = 1 To 2
    whole = "" : pieces = 0
    Do
        piece = msg.GetSource(100)
        If piece = "" Then Exit Do
        Check Len(piece) <= 100, "piece of at most 100 characters"
        whole = whole & piece
        pieces = pieces + 1
    Loop
    Check whole = src, "pieces join to the source (walk " & walk & ")"
    Check pieces = -Int(-Len(src) / 100), "number of pieces (walk " & walk & "): " & pieces
Next

msg.GetContentReset
Check msg.GetSource(4) = "From", "GetContentReset starts over"
Check msg.GetSourceLength() = Len(src), "GetSourceLength"
Check msg.GetHeader() = "From: Ann <ann@example.org>" & vbCrLf & "Subject: Pieces", "GetHeader"
Check msg.GetHeaderLength() = Len(msg.GetHeader()), "GetHeaderLength"
Check msg.GetBodyLength() = Len(body), "GetBodyLength"
Check msg.GetAllBody() = body, "GetAllBody"
Check msg.GetBody(10) = "Line 1 of ", "GetBody(10)"
Check msg.GetSubject() = "Pieces", "GetSubject"
Check msg.GetDisplayFrom() = "Ann", "GetDisplayFrom"
Check msg.HasNormalPriority() = 1 And msg.HasHighPriority() = 0, "priority"
Check msg.GetBodyPrimaryContentType(-1) = "text", "primary type of a message without Content-Type"
Check msg.GetSource(-5) = "", "a negative count reads nothing"
Check msg.GetSource(3) = "Fro", "and resets"

' A message made by the script: a text body, an attachment, commit into Drafts.
Dim fso, folder, file, made, handle
Set fso = CreateObject("Scripting.FileSystemObject")
folder = fso.BuildPath(fso.GetSpecialFolder(2), "pelkary-vbs-" & Timer * 100)
fso.CreateFolder folder
Set file = fso.CreateTextFile(fso.BuildPath(folder, "notes.txt"), True)
file.Write "attached notes"
file.Close

Set made = CreateObject("PELKARY.MXMessage")
Check made.GetID() = -1, "a new message has no id"
Check made.SetBodyText(-1, "Hello from a script", "text", "plain") = 1, "SetBodyText"
Check made.SetBodyPropByName(-1, "Subject", "Made by a script") = 1, "SetBodyPropByName"
handle = made.AttachFile(fso.BuildPath(folder, "notes.txt"))
Check handle <> 0, "AttachFile"
Check made.Commit() = 0, "Commit without a folder"
made.SetFolderID drafts.GetID()
Check made.Commit() = 1, "Commit into Drafts"
Check made.GetID() <> -1, "committed message has an id"
Check made.GetSubject() = "Made by a script", "subject of the committed message"
handle = made.GetFirstAttachment()
Check made.GetFilename(handle) = "notes.txt", "attachment file name"
Check made.SaveBodyToFile(handle, folder, 1) = 1, "SaveBodyToFile under its own name"
Check made.GetNextAttachment() = 0, "one attachment only"
Check made.SetBodyProp(handle, 41, "..\..\escape.txt") = 1, "hostile file name set"
Check made.SaveBodyToFile(handle, folder & "\", 1) = 1, "hostile name saved inside"
Check fso.FileExists(fso.BuildPath(folder, "escape.txt")), "saved under its last component"
Check Not fso.FileExists(fso.BuildPath(fso.GetParentFolderName(fso.GetParentFolderName(folder)), "escape.txt")), _
    "nothing written outside"
Check made.SetBodyProp(handle, 41, "CON") = 1, "device name set"
Check made.SaveBodyToFile(handle, folder, 1) = 0, "device name refused"

' Clone: Nothing for an unsaved message, an unsaved copy of a stored one.
Check CreateObject("PELKARY.MXMessage").Clone(drafts.GetID()) Is Nothing, "Clone of an unsaved message"
Dim copy
Set copy = msg.Clone(drafts.GetID())
Check copy.GetID() = -1 And copy.GetFolderID() = drafts.GetID(), "clone is unsaved in Drafts"
Check copy.Commit() = 1, "clone committed"
Check drafts.GetMessageCount() = 2, "Drafts holds both messages"

fso.DeleteFolder folder, True
If failures > 0 Then WScript.Quit 1
WScript.Echo "messages.vbs: all checks passed"
WScript.Echo "PASS"
WScript.Quit 0
