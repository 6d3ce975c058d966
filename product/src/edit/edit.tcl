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
    $w.menu.edit add separator
    $w.menu.edit add command -label Cut -command [list event generate $w.text <<Cut>>]
    $w.menu.edit add command -label Copy -command [list event generate $w.text <<Copy>>]
    $w.menu.edit add command -label Paste -command [list event generate $w.text <<Paste>>]
    $w.menu.edit add command -label "Select All" -command [list $w.text tag add sel 1.0 end-1c]
    $w.menu.edit add separator
    $w.menu.edit add command -label Find... -accelerator Ctrl+F -command [list FindBar $w]
    $w.menu.edit add command -label "Find Next" -accelerator F3 -command [list FindNext $w]

    frame $w.find
    label $w.find.l -text "Find:"
    entry $w.find.e -textvariable FindText -width 30
    button $w.find.n -text "Next" -command [list FindNext $w]
    button $w.find.x -text "Close" -command [list pack forget $w.find]
    pack $w.find.l $w.find.e $w.find.n -side left -padx 2 -pady 2
    pack $w.find.x -side right -padx 2 -pady 2
    bind $w.find.e <Return> [list FindNext $w]
    bind $w.find.e <Escape> [list pack forget $w.find]

    label $w.status -anchor w -relief sunken
    text $w.text -undo 1 -autoseparators 1 -wrap none -font TkFixedFont \
        -yscrollcommand [list $w.sy set] -xscrollcommand [list $w.sx set]
    scrollbar $w.sy -command [list $w.text yview]
    scrollbar $w.sx -orient horizontal -command [list $w.text xview]
    $w.text tag configure found -background yellow
    pack $w.status -side bottom -fill x
    pack $w.sx -side bottom -fill x
    pack $w.sy -side right -fill y
    pack $w.text -side left -fill both -expand 1

    bind $w.text <<Modified>> [list ShowState $w]
    bind $w <Control-o> [list OpenAsk $w]
    bind $w <Control-s> "[list Save $w]; break"
    bind $w <Control-f> "[list FindBar $w]; break"
    bind $w <F3> [list FindNext $w]
    bind $w.text <Control-y> "[list Redo $w]; break"

    if {$file ne ""} {
        Load $w $file
    }
    ShowState $w
    focus $w.text
    return $w
}

# Reads file into window w; a name that does not exist gives an empty text.
proc Load {w file} {
    global File Enc Crlf
    set File($w) [file normalize $file]
    if {![file exists $file]} {
        set Enc($w) utf-8
        set Crlf($w) 0
        $w.text delete 1.0 end
        $w.text edit reset
        $w.text edit modified 0
        ShowState $w
        SetStatus $w "New file: $File($w)"
        return 1
    }
    if {[catch {
        set ch [open $file rb]
        set data [read $ch]
        close $ch
    } err]} {
        tk_messageBox -parent $w -icon error -title "Kovra Editor" -message "Cannot read $file:\n$err"
        return 0
    }
    set Enc($w) [expr {[IsUtf8 $data] ? "utf-8" : [OemEncoding]}]
    set text [encoding convertfrom $Enc($w) $data]
    set Crlf($w) [expr {[string first "\r\n" $text] >= 0}]
    if {$Crlf($w)} {set text [string map [list "\r\n" "\n"] $text]}
    $w.text delete 1.0 end
    $w.text insert end $text
    $w.text edit reset
    $w.text edit modified 0
    $w.text mark set insert 1.0
    ShowState $w
    return 1
}

proc OpenAsk {w} {
    set file [tk_getOpenFile -parent $w]
    if {$file eq ""} return
    # An untouched empty window takes the file; otherwise a new window.
    if {$::File($w) eq "" && ![$w.text edit modified]} {
        Load $w $file
    } else {
        NewWindow $file
    }
}

proc Write {w file} {
    global Enc Crlf
    set text [$w.text get 1.0 end-1c]
    if {$Crlf($w)} {set text [string map [list "\n" "\r\n"] $text]}
    if {[catch {
        set ch [open $file wb]
        puts -nonewline $ch [encoding convertto $Enc($w) $text]
        close $ch
    } err]} {
        catch {close $ch}
        tk_messageBox -parent $w -icon error -title "Kovra Editor" -message "Cannot write $file:\n$err"
        return 0
    }
    $w.text edit modified 0
    $w.text edit separator
    ShowState $w
    return 1
}

proc Save {w} {
    global File
    if {$File($w) eq ""} {return [SaveAs $w]}
    return [Write $w $File($w)]
}

proc SaveAs {w} {
    global File
    set file [tk_getSaveFile -parent $w]
    if {$file eq ""} {return 0}
    set File($w) [file normalize $file]
    return [Write $w $File($w)]
}

proc Undo {w} {catch {$w.text edit undo}}
proc Redo {w} {catch {$w.text edit redo}}

proc FindBar {w} {
    pack $w.find -before $w.status -side bottom -fill x
    focus $w.find.e
    $w.find.e selection range 0 end
}

proc FindNext {w} {
    global FindText
    $w.text tag remove found 1.0 end
    if {$FindText eq ""} {FindBar $w; return}
    set pos [$w.text search -nocase -count len -- $FindText "insert + 1 char" end]
    if {$pos eq ""} {
        set pos [$w.text search -nocase -count len -- $FindText 1.0 end]
    }
    if {$pos eq ""} {
        SetStatus $w "\"$FindText\" not found"
        bell
        return
    }
    $w.text tag add found $pos "$pos + $len chars"
    $w.text mark set insert $pos
    $w.text see $pos
}

# Asks before unsaved changes are lost; false if the user cancels.
proc MayClose {w} {
    if {![$w.text edit modified]} {return 1}
    set name [expr {$::File($w) eq "" ? "Untitled" : [file tail $::File($w)]}]
    set answer [tk_messageBox -parent $w -icon warning -type yesnocancel \
        -title "Kovra Editor" -message "Save the changes to $name?"]
    switch -- $answer {
        yes {return [Save $w]}
        no {return 1}
        default {return 0}
    }
}

proc CloseWindow {w} {
    if {![MayClose $w]} return
    destroy $w
    foreach t [winfo children .] {
        if {[winfo toplevel $t] eq $t && [winfo exists $t.text]} return
    }
    exit
}

proc ExitAll {} {
    foreach t [winfo children .] {
        if {[winfo exists $t.text] && ![MayClose $t]} return
    }
    exit
}

wm withdraw .
if {[llength $argv] == 0} {
    NewWindow
} else {
    foreach file $argv {NewWindow $file}
}
if {[catch GuiInit err]} {
    SetStatus .tMain "No window icon: $err"
}
