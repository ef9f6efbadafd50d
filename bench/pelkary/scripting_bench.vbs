' The late-bound half of scripting_bench: one measurement per run, printed as "<items> <seconds>".
'
'   foreach            For Each over MXStore.Messages(Inbox), reading each subject
'   walk               MXFolder's GetFirstMessage/GetNextMessage over the Inbox, reading each subject
'   find ID...         FindByMessageId of each ID (items: the lookups that found their message)
'   findwalk ID        the Inbox walked until the message whose Message-ID field is ID
'   search TEXT        MXStore.Search of the Inbox's subjects for TEXT (items: the messages found)
'   searchwalk TEXT    the Inbox walked, each subject compared with TEXT (items: the matches)
'   changes CURSOR     For Each over MXStore.Changes(CURSOR), reading Kind and MessageId
'   walk5              MXFolder's walk over the Inbox reading five fields of each message
'                      (GetID, GetSubject, GetDisplayFrom, GetSourceLength, GetState)
'   dictionary N       N objects Scripting.Dictionary created (the runtime's own floor)
'   table QUERY R      MXStore.Table(QUERY, "id,subject,from,size,unread") R times (items: rows)
'   tablecall QUERY R  the same, its array read in place (UBound) instead of assigned to a
'                      variable, which VBScript does by copying every cell
'   count QUERY R      MXStore.Count(QUERY) R times (items: the calls)
'   queryeach QUERY    For Each over MXStore.Query(QUERY), reading the five fields of walk5
Option Explicit
Dim store, manager, inbox, inboxId, args, started, n, msg, subject, i, change, kind, id, t, f
Set store = CreateObject("PELKARY.MXStore")
Set manager = CreateObject("PELKARY.MXFolderManager")
Set inbox = manager.GetInboxFolder()
inboxId = inbox.GetID()
Set args = WScript.Arguments
' The first query of a process opens the search index: not inside a measured one.
If args(0) = "table" Or args(0) = "tablecall" Or args(0) = "count" Or args(0) = "queryeach" Then id = store.Count("*")
n = 0
started = Timer
Select Case args(0)
Case "foreach"
    For Each msg In store.Messages(inboxId)
        subject = msg.GetSubject()
        n = n + 1
    Next
Case "walk"
    Set msg = inbox.GetFirstMessage()
    Do Until msg Is Nothing
        subject = msg.GetSubject()
        n = n + 1
        Set msg = inbox.GetNextMessage()
    Loop
Case "find"
    For i = 1 To args.Count - 1
        If Not store.FindByMessageId(args(i)) Is Nothing Then n = n + 1
    Next
Case "findwalk"
    Set msg = inbox.GetFirstMessage()
    Do Until msg Is Nothing
        If msg.GetBodyPropByName(-1, "Message-ID", 0) = args(1) Then
            n = 1
            Exit Do
        End If
        Set msg = inbox.GetNextMessage()
    Loop
Case "search"
    n = store.Search(inboxId, "Subject", args(1), False).Count
Case "searchwalk"
    Set msg = inbox.GetFirstMessage()
    Do Until msg Is Nothing
        If InStr(1, msg.GetSubject(), args(1), vbTextCompare) > 0 Then n = n + 1
        Set msg = inbox.GetNextMessage()
    Loop
Case "changes"
    For Each change In store.Changes(args(1))
        kind = change.Kind
        id = change.MessageId
        n = n + 1
    Next
Case "walk5"
    Set msg = inbox.GetFirstMessage()
    Do Until msg Is Nothing
        f = Array(msg.GetID(), msg.GetSubject(), msg.GetDisplayFrom(), msg.GetSourceLength(), msg.GetState())
        n = n + 1
        Set msg = inbox.GetNextMessage()
    Loop
Case "dictionary"
    For i = 1 To CLng(args(1))
        Set msg = CreateObject("Scripting.Dictionary")
        n = n + 1
    Next
Case "table"
    For i = 1 To CLng(args(2))
        t = store.Table(args(1), "id,subject,from,size,unread")
        n = n + UBound(t, 1) + 1
    Next
Case "tablecall"
    For i = 1 To CLng(args(2))
        n = n + UBound(store.Table(args(1), "id,subject,from,size,unread"), 1) + 1
    Next
Case "count"
    For i = 1 To CLng(args(2))
        id = store.Count(args(1))
        n = n + 1
    Next
Case "queryeach"
    For Each msg In store.Query(args(1))
        f = Array(msg.GetID(), msg.GetSubject(), msg.GetDisplayFrom(), msg.GetSourceLength(), msg.GetState())
        n = n + 1
    Next
End Select
WScript.Echo n & " " & (Timer - started)
