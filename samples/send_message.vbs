' send_message.vbs: builds a message with a text body and one attachment, saves it in Drafts and
' sends it to the Outbox.
'
'   cscript //nologo send_message.vbs TO SUBJECT TEXT ATTACHMENT_PATH
'
' TEXT is the body; write \n in it for a line break. ATTACHMENT_PATH is a file to attach.
'
' Sending needs the current user's default mail account, which MXMessage.Send stamps on the
' message. It lives in the registry under HKEY_CURRENT_USER:
'   Software\Microsoft\Internet Account Manager          "Default Mail Account" = the account id
'   Software\Microsoft\Internet Account Manager\Accounts\<account id>
'                                                        "Account Name"        = its name
'                                                        "SMTP Email Address"  = its address
'                                                        "SMTP Display Name"   = the sender's name
' (the last two are optional; they make the From field). To set one up:
'   reg add "HKCU\Software\Microsoft\Internet Account Manager" /v "Default Mail Account" /d 00000001 /f
'   reg add "HKCU\Software\Microsoft\Internet Account Manager\Accounts\00000001" /v "Account Name" /d "Home" /f
'   reg add "HKCU\Software\Microsoft\Internet Account Manager\Accounts\00000001" /v "SMTP Email Address" /d me@example.org /f
' The script checks for the account before it builds anything, so that it can say what is
' missing; Send itself would only answer 0.
'
' pelkary does not talk to a mail server: the message waits in the Outbox for whatever delivers
' mail from there. The draft stays in Drafts, as the record of what was sent.
Option Explicit

If WScript.Arguments.Count <> 4 Then
    WScript.Echo "usage: cscript //nologo send_message.vbs TO SUBJECT TEXT ATTACHMENT_PATH"
    WScript.Quit 2
End If

Dim fso, recipient, subject, text, attachment
Set fso = CreateObject("Scripting.FileSystemObject")
recipient = WScript.Arguments(0)
subject = WScript.Arguments(1)
text = Replace(WScript.Arguments(2), "\n", vbCrLf)
attachment = FullPath(WScript.Arguments(3))
If recipient = "" Then
    WScript.Echo "error: TO is empty; give the recipient's address"
    WScript.Quit 2
End If
If Not fso.FileExists(attachment) Then
    WScript.Echo "error: no file " & attachment & " to attach; check ATTACHMENT_PATH"
    WScript.Quit 1
End If

' The default mail account, where Send will look for it.
Dim accountKey, accountId, accountName, sender
accountKey = "HKCU\Software\Microsoft\Internet Account Manager\"
If RegValue("HKCU\Identities\Last User ID") <> "" Then
    accountKey = "HKCU\Identities\" & RegValue("HKCU\Identities\Last User ID") & _
                 "\Software\Microsoft\Internet Account Manager\"
End If
accountId = RegValue(accountKey & "Default Mail Account")
If accountId <> "" Then accountName = RegValue(accountKey & "Accounts\" & accountId & "\Account Name")
If accountId = "" Or accountName = "" Then
    WScript.Echo "error: no default mail account for this user; set ""Default Mail Account"" and its " & _
                 """Account Name"" under " & accountKey & " (see the top of send_message.vbs)"
    WScript.Quit 1
End If
sender = RegValue(accountKey & "Accounts\" & accountId & "\SMTP Email Address")
If sender <> "" Then
    If RegValue(accountKey & "Accounts\" & accountId & "\SMTP Display Name") <> "" Then
        sender = """" & RegValue(accountKey & "Accounts\" & accountId & "\SMTP Display Name") & _
                 """ <" & sender & ">"
    End If
Else
    WScript.Echo "note: the account '" & accountName & "' has no ""SMTP Email Address""; the message has no From field"
End If

Dim manager, drafts
On Error Resume Next
Set manager = CreateObject("PELKARY.MXFolderManager")
If Err.Number <> 0 Then
    WScript.Echo "error: cannot create PELKARY.MXFolderManager (" & Err.Number & "): is pelkary.dll registered?"
    WScript.Quit 1
End If
On Error GoTo 0
Set drafts = manager.GetDraftFolder()
If drafts.IsNull() = 1 Then
    WScript.Echo "error: the store's Drafts folder cannot be opened"
    WScript.Quit 1
End If

' A new MXMessage is an unsaved message whose root body (-1) is the message itself. The text
' goes in first: AttachFile then turns the message into multipart/mixed with the text as its
' first part. Header fields are properties of the root body, set by name.
Dim msg
Set msg = CreateObject("PELKARY.MXMessage")
If msg.SetBodyText(-1, text, "text", "plain") = 0 Then Fail "cannot set the message text"
If msg.SetBodyPropByName(-1, "To", recipient) = 0 Then Fail "cannot set To to '" & recipient & "'"
If msg.SetBodyPropByName(-1, "Subject", subject) = 0 Then Fail "cannot set the subject"
If sender <> "" Then
    If msg.SetBodyPropByName(-1, "From", sender) = 0 Then Fail "cannot set From to '" & sender & "'"
End If
If msg.SetBodyPropByName(-1, "Date", MailDate()) = 0 Then Fail "cannot set the date"
If msg.AttachFile(attachment) = 0 Then Fail "cannot attach " & attachment & "; check that it can be read"

' Commit saves an unsaved message into the folder set with SetFolderID; it then has an id.
msg.SetFolderID drafts.GetID()
If msg.Commit() <> 1 Then Fail "cannot save the message in Drafts"
WScript.Echo "saved draft " & msg.GetID() & " in " & drafts.Name()

' Send puts a copy, stamped with the account and flagged as submitted, into the Outbox.
If msg.Send() <> 1 Then Fail "Send refused the message: check the default mail account and the Outbox"
WScript.Echo "queued a copy in the Outbox, account '" & accountName & "'"
WScript.Echo "done: sent """ & subject & """ to " & recipient & " with " & fso.GetFileName(attachment)

Sub Fail(what)
    WScript.Echo "error: " & what
    WScript.Quit 1
End Sub

' The registry value at path as text, or "" when it is not there.
Function RegValue(path)
    RegValue = ""
    On Error Resume Next
    RegValue = CStr(CreateObject("WScript.Shell").RegRead(path))
    If Err.Number <> 0 Then RegValue = ""
    On Error GoTo 0
End Function

' The current time in the mail date form, "Sat, 05 Dec 2026 18:10:00 +0000", in UTC (see
' archive_older.vbs for ActiveTimeBias).
Function MailDate()
    Dim bias, t
    bias = 0
    On Error Resume Next
    bias = CreateObject("WScript.Shell").RegRead( _
        "HKLM\System\CurrentControlSet\Control\TimeZoneInformation\ActiveTimeBias")
    If Err.Number <> 0 Or Not IsNumeric(bias) Then bias = 0
    On Error GoTo 0
    t = DateAdd("n", CLng(bias), Now)
    MailDate = Mid("SunMonTueWedThuFriSat", (Weekday(t) - 1) * 3 + 1, 3) & ", " & _
               Right("0" & Day(t), 2) & " " & Mid("JanFebMarAprMayJunJulAugSepOctNovDec", (Month(t) - 1) * 3 + 1, 3) & _
               " " & Year(t) & " " & Right("0" & Hour(t), 2) & ":" & Right("0" & Minute(t), 2) & ":" & _
               Right("0" & Second(t), 2) & " +0000"
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
End Function
