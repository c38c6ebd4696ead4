# Run by `cmake --install`: brings the desktop's databases of file types and menu entries up to
# date, so that file managers offer Dravik for GOB archives at once. Not for package builds
# (DESTDIR set), whose packages leave it to their triggers.
if("$ENV{DESTDIR}" STREQUAL "")
  set(data "${CMAKE_INSTALL_PREFIX}/${DRAVIK_INSTALL_DATADIR}")
  if(IS_ABSOLUTE "${DRAVIK_INSTALL_DATADIR}")
    set(data "${DRAVIK_INSTALL_DATADIR}")
  endif()
  find_program(DRAVIK_UPDATE_MIME update-mime-database)
  find_program(DRAVIK_UPDATE_DESKTOP update-desktop-database)
  if(DRAVIK_UPDATE_MIME)
    execute_process(COMMAND "${DRAVIK_UPDATE_MIME}" "${data}/mime")
  endif()
  if(DRAVIK_UPDATE_DESKTOP)
    execute_process(COMMAND "${DRAVIK_UPDATE_DESKTOP}" "${data}/applications")
  endif()
endif()
