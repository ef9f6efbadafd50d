' The late-bound half of folders_bench: walks the whole folder tree with GetFirstFolder and
' GetNextFolder, reading each name and two counts, and prints "<folders> <seconds per pass>".
' Argument: the number of passes.
Option Explicit
Dim passes, m, f, n, total, started, name, count, i
passes = 3
If WScript.Arguments.Count > 0 Then passes = CInt(WScript.Arguments(0))
Set m = CreateObject("PELKARY.MXFolderManager")
started = Timer
For i = 1 To passes
    n = 0
    Set f = m.GetFirstFolder()
    Do While Not f Is Nothing
        name = f.Name()
        count = f.GetMessageCount() + f.GetUnreadCount()
        n = n + 1
        Set f = m.GetNextFolder()
    Loop
Next
total = Timer - started
WScript.Echo n & " " & (total / passes)
