' archive_older.vbs: moves the Inbox messages older than DAYS days into an archive folder.
'
'   cscript //nologo archive_older.vbs DAYS [ARCHIVE_NAME]
'
' ARCHIVE_NAME is a top-level folder, "Archive" when not given; it is created when missing
' (names ignore letter case, so "archive" finds "Archive").
'
' A message's age comes from its "Date" header field, read from GetHeader() and parsed here:
' the store's own receive time says when the message reached this store, not when it was
' written. The parser takes the internet mail date form, "Tue, 1 Jul 2003 10:52:37 +0200",
' with or without the day name and seconds, with two-digit years, zone names such as GMT or
' EST, comments in parentheses, and the field folded over several lines. Dates are compared
' in UTC. A message without a Date field, or with one that cannot be read, is KEPT in the
' Inbox: a script should not guess and move mail it cannot date. Such messages are listed.
' MoveMessage gives a message a new id in the archive; it keeps its state (read or unread).
Option Explicit

Dim days, archiveName
If WScript.Arguments.Count < 1 Or WScript.Arguments.Count > 2 Then Usage
If Not Matches("^[0-9]{1,5}$", WScript.Arguments(0)) Then Usage
days = CLng(WScript.Arguments(0))
archiveName = "Archive"
If WScript.Arguments.Count = 2 Then archiveName = WScript.Arguments(1)
If archiveName = "" Or InStr(archiveName, "/") > 0 Or InStr(archiveName, "\") > 0 Then
    WScript.Echo "error: ARCHIVE_NAME must be the name of a top-level folder, without / or \"
    WScript.Quit 2
End If

Dim manager, inbox, archive
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

Set archive = TopLevelFolder(archiveName)
If archive Is Nothing Then
    If manager.CreateFolder(0, archiveName) = -1 Then
        WScript.Echo "error: cannot create the folder '" & archiveName & "' (is it a valid folder name?)"
        WScript.Quit 1
    End If
    Set archive = TopLevelFolder(archiveName)
    WScript.Echo "created folder " & archive.Name()
End If
If archive.GetID() = inbox.GetID() Then
    WScript.Echo "error: the archive folder cannot be the Inbox itself"
    WScript.Quit 1
End If

' Every date below is UTC.
Dim cutoff
cutoff = DateAdd("d", -days, UtcNow())
WScript.Echo "moving Inbox messages dated before " & IsoDate(cutoff) & " UTC to " & archive.Name()

' Decide first, move afterwards: a folder walk should not run over messages that are leaving
' the folder under it.
Dim msg, sent, toMove, total, undated
Set toMove = CreateObject("Scripting.Dictionary")
total = 0
undated = 0
Set msg = inbox.GetFirstMessage()
Do Until msg Is Nothing
    total = total + 1
    sent = MessageDate(msg.GetHeader())
    If IsEmpty(sent) Then
        WScript.Echo "kept " & msg.GetID() & " (no readable Date): " & msg.GetSubject()
        undated = undated + 1
    ElseIf sent < cutoff Then
        toMove.Add msg.GetID(), IsoDate(sent) & "  " & msg.GetSubject()
    End If
    Set msg = inbox.GetNextMessage()
Loop

Dim id, moved, failed
moved = 0
failed = 0
For Each id In toMove.Keys
    If manager.MoveMessage(inbox.GetID(), archive.GetID(), id) = 1 Then
        WScript.Echo "moved " & id & "  " & toMove(id)
        moved = moved + 1
    Else
        WScript.Echo "could not move " & id & "  " & toMove(id)
        failed = failed + 1
    End If
Next

Dim summary
summary = "done: moved " & moved & " of " & total & " Inbox messages to " & archive.Name() & _
          ", kept " & undated & " without a readable date"
If failed > 0 Then
    WScript.Echo summary & ", " & failed & " could not be moved"
    WScript.Quit 1
End If
WScript.Echo summary

Sub Usage()
    WScript.Echo "usage: cscript //nologo archive_older.vbs DAYS [ARCHIVE_NAME]   (DAYS: 0 to 99999)"
    WScript.Quit 2
End Sub

Function Matches(pattern, text)
    Dim re
    Set re = New RegExp
    re.Pattern = pattern
    re.IgnoreCase = True
    Matches = re.Test(text)
End Function

' The top-level folder called name (in any letter case), or Nothing.
Function TopLevelFolder(name)
    Dim root, child
    Set TopLevelFolder = Nothing
    Set root = manager.GetFolder(0)
    Set child = root.GetFirstChild()
    Do Until child Is Nothing
        If LCase(child.Name()) = LCase(name) Then
            Set TopLevelFolder = child
            Exit Function
        End If
        Set child = root.GetNextChild()
    Loop
End Function

' The current time in UTC. Windows keeps the local zone's distance from UTC, in minutes, in
' ActiveTimeBias (UTC = local time + bias); where it cannot be read, local time is taken as
' UTC, which shifts the cutoff by a few hours at most.
Function UtcNow()
    Dim bias
    bias = 0
    On Error Resume Next
    bias = CreateObject("WScript.Shell").RegRead( _
        "HKLM\System\CurrentControlSet\Control\TimeZoneInformation\ActiveTimeBias")
    If Err.Number <> 0 Or Not IsNumeric(bias) Then bias = 0
    On Error GoTo 0
    UtcNow = DateAdd("n", CLng(bias), Now)
End Function

Function IsoDate(d)
    IsoDate = Year(d) & "-" & Right("0" & Month(d), 2) & "-" & Right("0" & Day(d), 2) & " " & _
              Right("0" & Hour(d), 2) & ":" & Right("0" & Minute(d), 2)
End Function

' The UTC date of the header's Date field, or Empty when it has none that can be read.
Function MessageDate(header)
    Dim lines, line, value, inDate
    MessageDate = Empty
    value = ""
    inDate = False
    lines = Split(Replace(header, vbCrLf, vbLf), vbLf)
    For Each line In lines
        If Len(line) > 0 And (Left(line, 1) = " " Or Left(line, 1) = vbTab) Then
            If inDate Then value = value & " " & line        ' a folded continuation line
        ElseIf inDate Then
            Exit For
        ElseIf Matches("^date[ \t]*:", line) Then
            inDate = True
            value = Mid(line, InStr(line, ":") + 1)
        End If
    Next
    If inDate Then MessageDate = ParseMailDate(value)
End Function

' Parses "[Day,] D Mon YYYY HH:MM[:SS] [zone]" into a UTC date, or Empty.
Function ParseMailDate(text)
    Dim re, m, t, dayNum, monthNum, yearNum, hh, mm, ss, wallClock
    ParseMailDate = Empty

    ' Drop comments such as "(CST)", then make commas and runs of blanks single spaces.
    Set re = New RegExp
    re.Global = True
    re.Pattern = "\([^()]*\)"
    t = re.Replace(text, " ")
    re.Pattern = "[\s,]+"
    t = Trim(re.Replace(t, " "))

    re.Global = False
    re.IgnoreCase = True
    re.Pattern = "^(?:[a-z]+ )?([0-9]{1,2}) ([a-z]{3})[a-z]* ([0-9]{2,4}) " & _
                 "([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?(?: ([+-][0-9]{4}|[a-z]+))?"
    If Not re.Test(t) Then Exit Function
    Set m = re.Execute(t)(0)

    monthNum = (InStr("janfebmaraprmayjunjulaugsepoctnovdec", LCase(m.SubMatches(1))) + 2) / 3
    If monthNum <> Int(monthNum) Or monthNum < 1 Then Exit Function   ' not a month name
    dayNum = CInt(m.SubMatches(0))
    yearNum = CInt(m.SubMatches(2))
    If Len(m.SubMatches(2)) = 2 Then
        If yearNum < 50 Then yearNum = yearNum + 2000 Else yearNum = yearNum + 1900
    ElseIf Len(m.SubMatches(2)) = 3 Then
        yearNum = yearNum + 1900
    End If
    hh = CInt(m.SubMatches(3))
    mm = CInt(m.SubMatches(4))
    ss = 0
    If m.SubMatches(5) <> "" Then ss = CInt(m.SubMatches(5))
    If hh > 23 Or mm > 59 Or ss > 60 Or dayNum < 1 Then Exit Function
    If ss = 60 Then ss = 59   ' a leap second

    If yearNum < 1000 Then Exit Function

    wallClock = DateSerial(yearNum, monthNum, dayNum)
    If Day(wallClock) <> dayNum Then Exit Function   ' DateSerial turns 31 Apr into 1 May
    wallClock = wallClock + TimeSerial(hh, mm, ss)
    ParseMailDate = DateAdd("n", -ZoneMinutes(m.SubMatches(6)), wallClock)
End Function

' The zone's distance from UTC in minutes: "+0200" is 120. Unknown zone names count as UTC, as
' the mail format asks.
Function ZoneMinutes(zone)
    ZoneMinutes = 0
    If zone = "" Then Exit Function
    If Left(zone, 1) = "+" Or Left(zone, 1) = "-" Then
        ZoneMinutes = CInt(Mid(zone, 2, 2)) * 60 + CInt(Mid(zone, 4, 2))
        If Left(zone, 1) = "-" Then ZoneMinutes = -ZoneMinutes
        Exit Function
    End If
    Select Case UCase(zone)
        Case "EDT": ZoneMinutes = -4 * 60
        Case "EST", "CDT": ZoneMinutes = -5 * 60
        Case "CST", "MDT": ZoneMinutes = -6 * 60
        Case "MST", "PDT": ZoneMinutes = -7 * 60
        Case "PST": ZoneMinutes = -8 * 60
    End Select
End Function
