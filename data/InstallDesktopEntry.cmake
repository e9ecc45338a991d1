# Run by `cmake --install`: writes the desktop entry with its Exec key naming
# the installed program. Needs CADENZO_DESKTOP_SOURCE and CADENZO_INSTALL_BINDIR.
set(exec "${CMAKE_INSTALL_PREFIX}/${CADENZO_INSTALL_BINDIR}/cadenzo")
string(REPLACE "%" "%%" exec "${exec}")
# A path with a blank or a reserved character is quoted, and inside the
# quotes '"', '`', '$' and '\' are escaped; the key's own escaping then
# doubles every backslash.
if(exec MATCHES "[^A-Za-z0-9/._+@,=:%-]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
  set(exec "\"${exec}\"")
  string(REPLACE "\\" "\\\\" exec "${exec}")
endif()
file(READ "${CADENZO_DESKTOP_SOURCE}" entry)
# A regex replacement reads '\' as an escape of its own.
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=${exec}" entry "${entry}")
set(target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/cadenzo.desktop")
message(STATUS "Installing: ${target}")
file(WRITE "${target}" "${entry}")
