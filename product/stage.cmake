# Stages the product tree: cmake -DSRC=... -DDST=... -DEXE_SUFFIX=...
# -DLAUNCHERS=a;b -P stage.cmake.  Files that the list names but that are
# not written yet (launchers not built, content not yet in product/src) get
# a small working stand-in in the staged tree only, never in product/.
file(REMOVE_RECURSE ${DST})
file(COPY ${SRC}/ DESTINATION ${DST}
  PATTERN CMakeLists.txt EXCLUDE
  PATTERN stage.cmake EXCLUDE)

# The launchers carry the build's executable suffix (.exe on Windows).
# file(READ) drops the list's carriage returns; the copy made above keeps
# them, and a rewritten list gets its CR LF line breaks back.
file(READ ${SRC}/install.lst list)
if(EXE_SUFFIX)
  string(REGEX REPLACE "\"bin/(kohelp|koedit)\"" "\"bin/\\1${EXE_SUFFIX}\"" list "${list}")
  file(WRITE ${DST}/install.lst.lf "${list}")
  configure_file(${DST}/install.lst.lf ${DST}/install.lst @ONLY NEWLINE_STYLE CRLF)
  file(REMOVE ${DST}/install.lst.lf)
endif()

file(MAKE_DIRECTORY ${DST}/bin)
foreach(launcher ${LAUNCHERS})
  file(COPY ${launcher} DESTINATION ${DST}/bin)
endforeach()

# Every file record: "F", a blank, the name in quotes.
string(REGEX MATCHALL "\nF[^\"\r\n]*\"[^\"]*\"" records "${list}")
foreach(record ${records})
  string(REGEX REPLACE ".*\"([^\"]*)\"" "\\1" name "${record}")
  if(EXISTS ${DST}/${name})
    continue()
  endif()
  get_filename_component(dir ${DST}/${name} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  if(name MATCHES "^bin/(kohelp|koedit)")
    # Until the launcher is built: start its script with wish directly.
    if(CMAKE_MATCH_1 STREQUAL "kohelp")
      set(script help/help.tcl)
    else()
      set(script edit/edit.tcl)
    endif()
    file(WRITE ${DST}/${name}
      "#!/bin/sh\n# Starts the script of ${CMAKE_MATCH_1} with the Tk shell.\n"
      "exec wish \"$(dirname \"$0\")/../src/${script}\" \"$@\"\n")
  elseif(name MATCHES "\\.tcl$")
    file(WRITE ${DST}/${name}
      "# ${name}: minimal window of the Kovra product.\n"
      "wm title . \"Kovra\"\n"
      "label .l -text \"Kovra 4.3\"\n"
      "button .q -text Quit -command exit\n"
      "pack .l .q -padx 20 -pady 10\n")
  else()
    get_filename_component(title ${name} NAME_WE)
    file(WRITE ${DST}/${name} "Kovra 4.3: ${title}\n\nThis chapter of the Kovra documentation.\n")
  endif()
endforeach()
