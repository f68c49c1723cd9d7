# Installs the build into a fresh folder and checks the desktop integration there: the menu entry
# passes desktop-file-validate, the bus service starts the installed program, and the file-type
# database built from the installed entry maps "*.ddd" in any letter case to our type.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}" OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file bin/ddd_app share/applications/de.orvendel.VelmorantDDD.desktop share/dbus-1/services/de.orvendel.VelmorantDDD.service
             share/mime/packages/velmorant-ddd.xml share/icons/hicolor/scalable/apps/de.orvendel.VelmorantDDD.svg)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND desktop-file-validate "${PREFIX}/share/applications/de.orvendel.VelmorantDDD.desktop"
                RESULT_VARIABLE failed OUTPUT_VARIABLE complaints ERROR_VARIABLE complaints)
if(failed OR complaints)
  message(FATAL_ERROR "desktop-file-validate: ${complaints}")
endif()
file(READ "${PREFIX}/share/dbus-1/services/de.orvendel.VelmorantDDD.service" service)
if(NOT service MATCHES "Exec=${PREFIX}/bin/ddd_app --gapplication-service")
  message(FATAL_ERROR "bus service does not start the installed program: ${service}")
endif()
execute_process(COMMAND update-mime-database "${PREFIX}/share/mime" RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
file(READ "${PREFIX}/share/mime/globs2" globs)
if(failed OR NOT globs MATCHES "application/x-tachograph-ddd:\\*\\.ddd")
  message(FATAL_ERROR "file type not registered: ${globs}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
