# The Debian package, built with `cpack -G DEB` in a build folder after the build:
#   cmake --build build/default && (cd build/default && cpack -G DEB)
# It installs the install folder under /opt/norrvault-backup (the programs and libraries
# in bin/, the exported header in include/), a launcher `norrvault-backup` beside the
# programs that starts the wizard in the user's own copy of the install folder, and a
# desktop entry for it in /usr/share/applications with its icon in the hicolor theme. The
# launcher, the entry and the icon belong to the package only (component "package"), so
# that `cmake --install` still lays out the bare install folder.
set(NVX_PACKAGE_NAME norrvault-backup)
set(NVX_PACKAGE_FOLDER /opt/${NVX_PACKAGE_NAME})

configure_file(${PROJECT_SOURCE_DIR}/packaging/norrvault-backup.desktop.in
               ${CMAKE_BINARY_DIR}/packaging/${NVX_PACKAGE_NAME}.desktop @ONLY)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/norrvault-backup.sh
        DESTINATION bin RENAME ${NVX_PACKAGE_NAME}
        COMPONENT package EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${NVX_PACKAGE_NAME}.desktop
        DESTINATION /usr/share/applications
        COMPONENT package EXCLUDE_FROM_ALL)
# The entry's icon, found by its name in the icon theme.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/norrvault-backup.svg
        DESTINATION /usr/share/icons/hicolor/scalable/apps RENAME ${NVX_PACKAGE_NAME}.svg
        COMPONENT package EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${NVX_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Norrvault")
set(CPACK_PACKAGE_CONTACT "Norrvault Backup maintainers <backup@norrvault.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Norrvault Backup: backup wizard, job runner and scheduler for the Norrvault service")
set(CPACK_PACKAGE_DESCRIPTION
    "The wizard NorrvaultBackup sets up, runs, schedules and restores backups; NVXbackup \
runs backup jobs with libnvxapi.so; NVXscheduledBackup starts them from cron; nvxserver \
is a local stand-in of the storage service.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${NVX_PACKAGE_FOLDER})
# The install folder and the package's own files, in one package.
set(CPACK_COMPONENTS_ALL Unspecified package)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# What the programs and libraries load (objdump -p: NEEDED), by Debian 12 package; the
# test of the package checks that every library they need is in one of these. minizip
# and zlib serve the ZIP work files of transfers, libpq the service's PostgreSQL store;
# cron runs scheduled backups; QtDBus carries NVXnotify's desktop notifications.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6, libqt6dbus6, libsqlite3-0, libpq5, libssl3, libminizip1, zlib1g")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cron")
include(CPack)
