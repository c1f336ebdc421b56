# cmake -DFROM=<file> -DTO=<file> -P copy-if-absent.cmake
# Copies FROM to TO only where nothing stands at TO yet: a default data file
# goes beside the program once, and a file the update received or the user
# edited (or a link put there) stays as it is at every later build.
if(NOT DEFINED FROM OR NOT DEFINED TO)
  message(FATAL_ERROR "copy-if-absent: FROM and TO are needed")
endif()
if(NOT EXISTS "${TO}" AND NOT IS_SYMLINK "${TO}")
  file(COPY_FILE "${FROM}" "${TO}")
endif()
