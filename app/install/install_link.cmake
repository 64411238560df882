# The command on the search path is a link into the application folder; the program finds that
# folder by resolving it.
set(Bin "$ENV{DESTDIR}${WAVENARD_BIN_DIR}")
file(MAKE_DIRECTORY "${Bin}")
file(RELATIVE_PATH Relative "${WAVENARD_BIN_DIR}" "${WAVENARD_APP_DIR}/wavenard")
file(REMOVE "${Bin}/wavenard")
file(CREATE_LINK "${Relative}" "${Bin}/wavenard" SYMBOLIC)
message(STATUS "Installing: ${Bin}/wavenard -> ${Relative}")
