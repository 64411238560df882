# Writes the installation's "uid.ini", which moves the settings into the user's configuration
# folder. An existing one is kept, so a reinstall finds the settings the program left before.
set(Target "$ENV{DESTDIR}${WAVENARD_APP_DIR}/uid.ini")
if(EXISTS "${Target}")
  message(STATUS "Keeping: ${Target}")
else()
  string(RANDOM LENGTH 5 ALPHABET 0123456789 Uid)
  string(REGEX REPLACE "^0+([0-9])" "\\1" Uid "${Uid}")
  file(WRITE "${Target}" "[Settings]\nUID=${Uid}\n")
  message(STATUS "Installing: ${Target}")
endif()
