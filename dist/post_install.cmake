# Runs at the end of `cmake --install`: the desktop learns the .pqf type and which programs open
# which types only from the databases these tools build. PQ_DATADIR is the installed share folder.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
find_program(PQ_UPDATE_MIME update-mime-database)
if(PQ_UPDATE_MIME AND EXISTS "${PQ_DATADIR}/mime/packages")
  message(STATUS "Updating the MIME database in ${PQ_DATADIR}/mime")
  execute_process(COMMAND "${PQ_UPDATE_MIME}" "${PQ_DATADIR}/mime")
endif()
find_program(PQ_UPDATE_DESKTOP update-desktop-database)
if(PQ_UPDATE_DESKTOP AND EXISTS "${PQ_DATADIR}/applications")
  execute_process(COMMAND "${PQ_UPDATE_DESKTOP}" -q "${PQ_DATADIR}/applications")
endif()
