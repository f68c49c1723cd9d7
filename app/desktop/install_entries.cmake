# Writes the menu entry and the session-bus service with the program's installed path.
set(DDD_APP_EXEC "${CMAKE_INSTALL_PREFIX}/${DDD_INSTALL_BINDIR}/ddd_app")
set(data "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${DDD_INSTALL_DATADIR}")
configure_file("${DDD_DESKTOP_SOURCE}/de.orvendel.VelmorantDDD.desktop.in" "${data}/applications/de.orvendel.VelmorantDDD.desktop" @ONLY)
configure_file("${DDD_DESKTOP_SOURCE}/de.orvendel.VelmorantDDD.service.in" "${data}/dbus-1/services/de.orvendel.VelmorantDDD.service" @ONLY)
message(STATUS "Installing: ${data}/applications/de.orvendel.VelmorantDDD.desktop")
message(STATUS "Installing: ${data}/dbus-1/services/de.orvendel.VelmorantDDD.service")
