# What the Debian package holds and how it is made: `cmake --build BUILD --target package`
# writes orv_VERSION_ARCH.deb into BUILD. The programs go to /usr/bin; the desktop entries,
# icons, manual pages (generated from the programs' --help where the page speaks the
# help's language, written by hand elsewhere), the documentation files and a settings
# example to /usr/share; the web service's systemd unit and its settings file
# /etc/default/stationws (a conffile). The maintainer scripts (packaging/debian) make the
# system group orv and treat the unit as dh_installsystemd would; registering the system
# data source stays dsninstaller's work.
include(GNUInstallDirs)

set(ORV_PROGRAMS sitewright gainbook gainbook-cli dsninstaller compactor stationws)
foreach(program IN LISTS ORV_PROGRAMS)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
install(FILES ${packaging}/desktop/orv-sitewright.desktop ${packaging}/desktop/orv-gainbook.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/icons/orv-sitewright.svg ${packaging}/icons/orv-gainbook.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/orv)
install(FILES ${packaging}/copyright DESTINATION ${docdir})
# The web service's systemd unit, installed disabled: nothing enables it (`systemctl enable
# --now stationws` is the administrator's step). Its settings file may hold a password.
install(FILES ${CMAKE_SOURCE_DIR}/stationws/stationws.service DESTINATION lib/systemd/system)
install(FILES ${packaging}/stationws.default DESTINATION /etc/default RENAME stationws
        PERMISSIONS OWNER_READ OWNER_WRITE)
install(FILES ${packaging}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME orv)
install(FILES ${packaging}/ORV.ini DESTINATION ${docdir}/examples)

# Manual pages, compressed as Debian keeps them. Each entry: program, language, and either
# the hand-written page (its section is its file's suffix: stationws.8 is an
# administrator's command) or the name line of a page made from --help (section 1).
find_program(HELP2MAN help2man)
find_program(GZIP gzip REQUIRED)
set(man_dir ${CMAKE_BINARY_DIR}/man)
set(man_pages)
function(orv_man_page program language source)
  set(section 1)
  if(source MATCHES "\\.([1-8])$")
    set(section ${CMAKE_MATCH_1})
  endif()
  if(language STREQUAL "en")
    set(sub man${section})
  else()
    set(sub ${language}/man${section})
  endif()
  set(page ${man_dir}/${sub}/${program}.${section})
  if(source MATCHES "\\.[1-8]$")
    set(make_page ${CMAKE_COMMAND} -E copy ${source} ${page})
    set(depends ${source})
  elseif(HELP2MAN AND TARGET ${program} AND NOT ORV_SANITIZE AND NOT ORV_FUZZ)
    set(make_page env ORV_VERSION=${PROJECT_VERSION} ${packaging}/man/from-help.sh
        $<TARGET_FILE:${program}> ${page} "${source}" ${language})
    set(depends ${program} ${packaging}/man/from-help.sh)
  else()
    return()
  endif()
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}/${sub}
    COMMAND ${make_page}
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${depends} VERBATIM)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/${sub})
  set(man_pages ${man_pages} ${page}.gz PARENT_SCOPE)
endfunction()
orv_man_page(sitewright en ${packaging}/man/en/sitewright.1)
orv_man_page(sitewright ru ${packaging}/man/ru/sitewright.1)
orv_man_page(gainbook en ${packaging}/man/en/gainbook.1)
orv_man_page(gainbook ru ${packaging}/man/ru/gainbook.1)
orv_man_page(gainbook-cli en ${packaging}/man/en/gainbook-cli.1)
orv_man_page(gainbook-cli ru "работа редактора откликов для сценариев")
orv_man_page(dsninstaller en "registers the ODBC driver and the system data source ORV")
orv_man_page(compactor en "compacts the database file of the system data source ORV")
orv_man_page(stationws en ${packaging}/man/en/stationws.8)
configure_file(${packaging}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${GZIP} -9nkf ${CMAKE_BINARY_DIR}/packaging/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${docdir})
# The project's README as the package's, what an administrator reads first.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/README.gz
  COMMAND sh -c "${GZIP} -9n <'${CMAKE_SOURCE_DIR}/README.md' >'${CMAKE_BINARY_DIR}/packaging/README.gz'"
  DEPENDS ${CMAKE_SOURCE_DIR}/README.md VERBATIM)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.gz DESTINATION ${docdir})
add_custom_target(package_files ALL DEPENDS ${man_pages} ${CMAKE_BINARY_DIR}/packaging/changelog.gz
                                            ${CMAKE_BINARY_DIR}/packaging/README.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ORV maintainers <maintainers@users.noreply.c-seed-3c4b6e07.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "seismic station metadata and instrument responses in an ODBC database")
# The extended description; CPack puts the summary above it as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Desktop tools for a seismological data centre that keeps where its
stations stand, which channels they record and which instrument response
applies to each channel over which interval in one relational database
reached through ODBC (SQLite, PostgreSQL or MariaDB): the station editor
Sitewright, the response editor Gainbook with its command-line companion
gainbook-cli, the data source utilities dsninstaller and compactor, and
stationws, an FDSN station web service (fdsnws-station 1.1) over the same
database.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The drivers the programs open at run time by name, which no link records.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql, odbc-mariadb, qt6-translations-l10n")
# What the windows need at run time beyond the linked libraries: Qt's platform plugins
# and a font for the plot's labels.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${packaging}/debian/preinst ${packaging}/debian/postinst ${packaging}/debian/prerm
    ${packaging}/debian/postrm ${packaging}/debian/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
