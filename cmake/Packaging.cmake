# Install rules and the Debian package. The kiosk has fixed places on the target
# machine (/opt/rvukiosk, /var/lib/rvukiosk, the systemd unit), so the install
# prefix is the root of the file tree: "/" by default, a scratch folder for a
# staged install (cmake --install <build> --prefix /tmp/root, or DESTDIR).
if(NOT KIOSK_BUILD_GUI)
  return()
endif()

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX "/" CACHE PATH "Root of the file tree the kiosk is installed into" FORCE)
endif()

set(KIOSK_DEPLOY_DIR ${PROJECT_SOURCE_DIR}/deploy)

install(TARGETS rvukiosk RUNTIME DESTINATION opt/rvukiosk)
install(PROGRAMS ${KIOSK_DEPLOY_DIR}/kiosk-session DESTINATION usr/libexec/rvukiosk)
install(FILES ${KIOSK_DEPLOY_DIR}/rvukiosk.service DESTINATION usr/lib/systemd/system)
install(FILES ${KIOSK_DEPLOY_DIR}/rvukiosk.sysusers DESTINATION usr/lib/sysusers.d RENAME rvukiosk.conf)
install(FILES ${KIOSK_DEPLOY_DIR}/rvukiosk.tmpfiles DESTINATION usr/lib/tmpfiles.d RENAME rvukiosk.conf)
# The pager port's receive buffer: the kernel's limit raised to what the kiosk asks for.
install(FILES ${KIOSK_DEPLOY_DIR}/rvukiosk.sysctl DESTINATION usr/lib/sysctl.d RENAME 60-rvukiosk.conf)
# The kiosk's station settings (a conffile, shipped with every setting at its default).
install(FILES ${KIOSK_DEPLOY_DIR}/rvukiosk/station.conf DESTINATION etc/rvukiosk)
# The alert's pronunciation table (a conffile the station edits).
install(FILES ${KIOSK_DEPLOY_DIR}/rvukiosk/pronunciation.conf DESTINATION etc/rvukiosk)
install(FILES ${PROJECT_SOURCE_DIR}/docs/operator-guide.md DESTINATION usr/share/doc/rvukiosk)
# Alert and recording rules for the region's Prometheus to include.
install(FILES ${KIOSK_DEPLOY_DIR}/prometheus/rvukiosk-rules.yml DESTINATION usr/share/rvukiosk/prometheus)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images DESTINATION usr/share/doc/rvukiosk)

# The station's own pager gateway, in the same package: its program, its unit
# (installed disabled), its settings and capcode table (conffiles). The package
# carries both programs, so building the kiosk builds the gateway too.
install(TARGETS rvu-pager-gateway RUNTIME DESTINATION usr/bin)
install(FILES ${KIOSK_DEPLOY_DIR}/rvu-pager-gateway.service DESTINATION usr/lib/systemd/system)
install(FILES ${KIOSK_DEPLOY_DIR}/rvu-pager-gateway/gateway.conf ${KIOSK_DEPLOY_DIR}/rvu-pager-gateway/capcodes.conf
        DESTINATION etc/rvu-pager-gateway)
add_dependencies(rvukiosk rvu-pager-gateway)

# A plain `cmake --install` onto the running system (as root, no DESTDIR) does
# what the package's postinst does for its user and folders.
install(CODE [[
  # The install script strips the trailing "/" of the root.
  if(CMAKE_INSTALL_PREFIX MATCHES "^/?$" AND "$ENV{DESTDIR}" STREQUAL "")
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(uid STREQUAL "0")
      message(STATUS "Creating the kiosk's user and folders")
      execute_process(COMMAND systemd-sysusers rvukiosk.conf COMMAND_ERROR_IS_FATAL ANY)
      execute_process(COMMAND systemd-tmpfiles --create rvukiosk.conf COMMAND_ERROR_IS_FATAL ANY)
      if(IS_DIRECTORY /run/systemd/system)
        execute_process(COMMAND /usr/lib/systemd/systemd-sysctl 60-rvukiosk.conf)
        execute_process(COMMAND systemctl daemon-reload)
      endif()
    endif()
  endif()
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rvukiosk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-screen station kiosk for an emergency-service unit")
set(CPACK_PACKAGE_DESCRIPTION
    "Shows the region's pager messages, a clock, the unit's status ticker and a rotation of web pages (route map, weather, task summary, charts, station pictures) on the station's screen, run by systemd in a cage Wayland session.")
set(KIOSK_PACKAGE_MAINTAINER "RVU kiosk maintainers <rvukiosk@localhost>" CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${KIOSK_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links (Qt, libcurl, pugixml, libsystemd ...) become
# dependencies on their runtime packages through dpkg-shlibdeps; what it runs
# or opens by name is listed here (cage fails to start without Xwayland; its
# seat comes from seatd, whose package enables and starts its service).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The alert's libraries (libasound, libespeak-ng, libcec, libddcutil) come
# through dpkg-shlibdeps; espeak-ng's voices are data it opens by name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "cage, xwayland, qt6-wayland, seatd, systemd, init-system-helpers, fonts-liberation, espeak-ng-data")
# The pager gateway runs the receiver and the decoder by name; a station that
# takes its feed from the region's gateway does without them.
# alsa-utils: speaker-test and aplay, to check the sound card (operator's guide).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "rtl-sdr, multimon-ng, alsa-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${KIOSK_DEPLOY_DIR}/debian/preinst ${KIOSK_DEPLOY_DIR}/debian/postinst ${KIOSK_DEPLOY_DIR}/debian/prerm
    ${KIOSK_DEPLOY_DIR}/debian/postrm
    ${KIOSK_DEPLOY_DIR}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
