' The late-bound half of messages_bench: walks the Inbox with GetFirstMessage and GetNextMessage,
' reading each message's subject and state, and prints "<messages> <seconds>".
Option Explicit
Dim manager, inbox, msg, n, started, subject, state
Set manager = CreateObject("PELKARY.MXFolderManager")
Set inbox = manager.GetInboxFolder()
started = Timer
n = 0
Set msg = inbox.GetFirstMessage()
Do While Not msg Is Nothing
    subject = msg.GetSubject()
    state = msg.GetState()
    n = n + 1
    Set msg = inbox.GetNextMessage()
Loop
WScript.Echo n & " " & (Timer - started)
