# help.tcl: Kovra's help viewer, started by kohelp.
#
# The chapters are the text files of doc/ next to this script; the first
# line of each is its title.  "Introduction to Kovra" comes first, then the
# others in the order of the guide.  A topic named on the command line
# (a chapter title, or the file's name without ".txt") is opened at once;
# the search field finds a word in the shown chapter, or in the next
# chapter that holds it.

set HelpDir [file join [file dirname [info script]] doc]
set Order {intro installing viewer editor}

# Chapters: a list of {name title body}.
proc LoadChapters {} {
    global HelpDir Order
    set files {}
    foreach name $Order {
        set f [file join $HelpDir $name.txt]
        if {[file readable $f]} {lappend files $f}
    }
    foreach f [lsort [glob -nocomplain -directory $HelpDir *.txt]] {
        if {[lsearch -exact $files $f] < 0} {lappend files $f}
    }
    set chapters {}
    foreach f $files {
        if {[catch {
            set ch [open $f r]
            fconfigure $ch -encoding utf-8
            set data [read $ch]
            close $ch
        }]} continue
        set data [string map [list "\r\n" "\n"] $data]
        set nl [string first "\n" $data]
        if {$nl < 0} {
            set title [string trim $data]
            set body ""
        } else {
            set title [string trim [string range $data 0 [expr {$nl - 1}]]]
            set body [string range $data [expr {$nl + 1}] end]
        }
        lappend chapters [list [file rootname [file tail $f]] $title $body]
    }
    return $chapters
}

proc ShowChapter {index} {
    global Chapters Current
    if {$index < 0 || $index >= [llength $Chapters]} return
    set Current $index
    lassign [lindex $Chapters $index] name title body
    set t .tMain.body.text
    $t configure -state normal
    $t delete 1.0 end
    $t insert end $title\n title
    $t insert end \n[Reflow $body]
    $t configure -state disabled
    $t yview moveto 0
    .tMain.list.lb selection clear 0 end
    .tMain.list.lb selection set $index
    .tMain.list.lb see $index
    wm title .tMain "$title - Kovra Help"
    SetStatus ""
}

# Joins the lines of each paragraph, so that the text widget wraps them
# to its width; blank lines, list items ("1. ") and lines indented by four
# blanks (examples) keep their own line.
proc Reflow {body} {
    set out ""
    set prev ""
    foreach line [split $body \n] {
        set own [expr {$line eq "" || $prev eq "" || [regexp {^ {4}} $line]
                       || [regexp {^ {4}} $prev] || [regexp {^\d+\. } $line]}]
        if {$out eq "" && $prev eq ""} {
            append out $line
        } elseif {$own} {
            append out \n $line
        } else {
            append out " " [string trimleft $line]
        }
        set prev $line
    }
    return $out
}

proc SetStatus {text} {
    .tMain.status configure -text $text
}

# The chapter whose title or file name matches topic, or -1.
proc FindTopic {topic} {
    global Chapters
    set topic [string trim $topic]
    if {$topic eq ""} {return -1}
    set i 0
    foreach c $Chapters {
        lassign $c name title
        if {[string equal -nocase $topic $title] || [string equal -nocase $topic $name]
                || [string equal -nocase $topic $name.txt]} {
            return $i
        }
        incr i
    }
    set i 0
    foreach c $Chapters {
        if {[string first [string tolower $topic] [string tolower [lindex $c 1]]] >= 0} {
            return $i
        }
        incr i
    }
    return -1
}

# Finds the search text after the insert mark, then in the next chapters.
proc Search {} {
    global Chapters Current SearchText
    set t .tMain.body.text
    set word $SearchText
    $t tag remove found 1.0 end
    if {$word eq ""} return
    set start [$t index "insert + 1 char"]
    set pos [$t search -nocase -count len -- $word $start end]
    if {$pos eq ""} {
        set n [llength $Chapters]
        for {set k 1} {$k <= $n} {incr k} {
            set i [expr {($Current + $k) % $n}]
            lassign [lindex $Chapters $i] name title body
            if {[string first [string tolower $word] [string tolower "$title\n\n$body"]] >= 0} {
                ShowChapter $i
                set pos [$t search -nocase -count len -- $word 1.0 end]
                break
            }
        }
    }
    if {$pos eq ""} {
        SetStatus "\"$word\" is not in the help."
        bell
        return
    }
    $t tag add found $pos "$pos + $len chars"
    $t mark set insert $pos
    $t see $pos
    SetStatus ""
}

proc BuildWindow {} {
    global Chapters
    wm withdraw .
    toplevel .tMain
    wm title .tMain "Kovra Help"
    wm geometry .tMain 760x520
    wm protocol .tMain WM_DELETE_WINDOW exit
    bind .tMain <Destroy> {if {"%W" eq ".tMain"} exit}

    frame .tMain.bar
    label .tMain.bar.l -text "Search:"
    entry .tMain.bar.e -textvariable SearchText -width 30
    button .tMain.bar.b -text "Find" -command Search
    button .tMain.bar.q -text "Close" -command exit
    pack .tMain.bar.l .tMain.bar.e .tMain.bar.b -side left -padx 2 -pady 2
    pack .tMain.bar.q -side right -padx 2 -pady 2
    bind .tMain.bar.e <Return> Search

    frame .tMain.list
    listbox .tMain.list.lb -width 26 -exportselection 0 -activestyle none
    foreach c $Chapters {.tMain.list.lb insert end [lindex $c 1]}
    pack .tMain.list.lb -fill both -expand 1
    bind .tMain.list.lb <<ListboxSelect>> {
        set sel [.tMain.list.lb curselection]
        if {$sel ne ""} {ShowChapter [lindex $sel 0]}
    }

    frame .tMain.body
    text .tMain.body.text -wrap word -padx 8 -pady 6 -width 60 \
        -yscrollcommand {.tMain.body.sb set} -state disabled
    scrollbar .tMain.body.sb -command {.tMain.body.text yview}
    pack .tMain.body.sb -side right -fill y
    pack .tMain.body.text -side left -fill both -expand 1
    .tMain.body.text tag configure title -font {Helvetica 14 bold}
    .tMain.body.text tag configure found -background yellow

    label .tMain.status -anchor w -relief sunken
    pack .tMain.bar -side top -fill x
    pack .tMain.status -side bottom -fill x
    pack .tMain.list -side left -fill y
    pack .tMain.body -side left -fill both -expand 1
    bind .tMain <Control-f> {focus .tMain.bar.e}
    bind .tMain <F3> Search
}

set Chapters [LoadChapters]
set Current 0
set SearchText ""
BuildWindow
if {[catch GuiInit err]} {
    SetStatus "No window icon: $err"
}
if {[llength $Chapters] == 0} {
    SetStatus "No help chapters found in $HelpDir"
} else {
    set topic [join $argv " "]
    set index 0
    if {$topic ne ""} {
        set index [FindTopic $topic]
        if {$index < 0} {set index 0}
    }
    ShowChapter $index
    if {$topic ne "" && [FindTopic $topic] < 0} {
        SetStatus "No chapter named \"$topic\"; showing the introduction."
    }
}
focus .tMain.bar.e
