# Part of the install step: writes the desktop menu's launcher for the prefix being
# installed to and installs it into <datadir>/applications. Set by the caller:
# ROCKVANE_DESKTOP_TEMPLATE, ROCKVANE_DESKTOP_OUTPUT, ROCKVANE_BINDIR, ROCKVANE_DATADIR.

function(rv_under_prefix dir out)
    if(IS_ABSOLUTE "${dir}")
        set(${out} "${dir}" PARENT_SCOPE)
    else()
        set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
    endif()
endfunction()

rv_under_prefix("${ROCKVANE_BINDIR}" bindir)
rv_under_prefix("${ROCKVANE_DATADIR}" datadir)

# The Exec key takes a command line: a path with a blank or a reserved character is
# quoted, with \ " ` $ escaped inside the quotes; then, as in every string value of the
# file, each \ is written \\, and % is written %%.
set(launcher "${bindir}/rockvane")
if(launcher MATCHES "[^A-Za-z0-9/._+,@=:-]")
    string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" launcher "${launcher}")
    set(launcher "\"${launcher}\"")
endif()
string(REPLACE "\\" "\\\\" launcher "${launcher}")
string(REPLACE "%" "%%" launcher "${launcher}")
set(ROCKVANE_LAUNCHER "${launcher}")

# Under /usr and /usr/local the icon theme finds the icon by its name; elsewhere the
# launcher names the picture's file.
if(CMAKE_INSTALL_PREFIX MATCHES "^/usr(/local)?/?$")
    set(ROCKVANE_ICON rockvane)
else()
    string(REPLACE "\\" "\\\\" ROCKVANE_ICON "${datadir}/icons/hicolor/256x256/apps/rockvane.png")
endif()

configure_file("${ROCKVANE_DESKTOP_TEMPLATE}" "${ROCKVANE_DESKTOP_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${datadir}/applications" TYPE FILE FILES "${ROCKVANE_DESKTOP_OUTPUT}")
