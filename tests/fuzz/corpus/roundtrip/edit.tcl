# edit.tcl: Kovra's plain-text file editor, started by koedit.
#
# Every file named on the command line opens in a window of its own (the
# first in .tMain).  A file that is valid UTF-8 is read and saved as UTF-8;
# any other file is read and saved in the OEM code page that GuiGetOEMCP
# reports (cp850, cp437, ...).  CR LF line ends are kept.  State per window
# lives in the arrays File, Enc and Crlf, keyed by the window's path.

set WinCount 0
set FindText ""

# The Tcl encoding of the system's OEM code page, or iso8859-1.
proc OemEncoding {} {
    set enc iso8859-1
    if {![catch GuiGetOEMCP page] && [lsearch -exact [encoding names] cp$page] >= 0} {
        set enc cp$page
    }
    return $enc
}

proc IsUtf8 {data} {
    return [expr {[encoding convertto utf-8 [encoding convertfrom utf-8 $data]] eq $data}]
}

proc SetStatus {w text} {
    $w.status configure -text $text
}

proc ShowState {w} {
    global File Enc Crlf
    set name [expr {$File($w) eq "" ? "Untitled" : [file tail $File($w)]}]
    set mark [expr {[$w.text edit modified] ? "*" : ""}]
    wm title $w "$mark$name - Kovra Editor"
    SetStatus $w "$Enc($w)[expr {$Crlf($w) ? ", CR LF" : ""}]   [expr {$File($w) eq "" ? "" : $File($w)}]"
}

proc NewWindow {{file ""}} {
    global WinCount File Enc Crlf
    if {$WinCount == 0 && ![winfo exists .tMain]} {
        set w .tMain
    } else {
        set w .tEdit[incr WinCount]
    }
    incr WinCount
    toplevel $w
    wm geometry $w 720x480
    wm protocol $w WM_DELETE_WINDOW [list CloseWindow $w]
    set File($w) ""
    set Enc($w) utf-8
    set Crlf($w) 0

    menu $w.menu -tearoff 0
    $w configure -menu $w.menu
    menu $w.menu.file -tearoff 0
    $w.menu add cascade -label File -menu $w.menu.file -underline 0
    $w.menu.file add command -label New -command NewWindow
    $w.menu.file add command -label Open... -accelerator Ctrl+O -command [list OpenAsk $w]
    $w.menu.file add command -label Save -accelerator Ctrl+S -command [list Save $w]
    $w.menu.file add command -label "Save As..." -command [list SaveAs $w]
    $w.menu.file add separator
    $w.menu.file add command -label Close -command [list CloseWindow $w]
    $w.menu.file add command -label Exit -command ExitAll
    menu $w.menu.edit -tearoff 0
    $w.menu add cascade -label Edit -menu $w.menu.edit -underline 0
    $w.menu.edit add command -label Undo -accelerator Ctrl+Z -command [list Undo $w]
    $w.menu.edit add command -label Redo -accelerator Ctrl+Y -command [list Redo $w]
   