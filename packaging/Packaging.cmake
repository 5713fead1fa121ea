# Install rules and the Debian package (cpack -G DEB, see scripts/package.sh).
# Included from the top-level CMakeLists.txt, after its targets and tests.

include(GNUInstallDirs)

set(KELVASET_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KELVASET_PACKAGING_OUTPUT ${CMAKE_BINARY_DIR}/packaging)
# The day this version was released: shown in the manual pages, the
# changelog and the software centre's release list.
set(KELVASET_RELEASE_DATE 2026-12-07)
set(KELVASET_APP_ID example.orvanto.Kelvaset)

set(CPACK_PACKAGE_NAME kelvaset)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvanto <info@orvanto.example>")

# `make install` and cpack install only what has been built. Without this,
# packaging would first build every test and benchmark of the tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS kelvaset kelvaset-logger kelvane-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The logger's service, where Debian keeps the units of its packages: an
# absolute path, so the package is staged with DESTDIR.
install(FILES ${KELVASET_PACKAGING_DIR}/kelvaset-logger@.service DESTINATION /lib/systemd/system)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)

install(FILES ${KELVASET_PACKAGING_DIR}/${KELVASET_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${KELVASET_PACKAGING_DIR}/icons/${size}x${size}/kelvaset.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The changelog wants the day in the mail date format.
execute_process(COMMAND date -u -R -d ${KELVASET_RELEASE_DATE}
    OUTPUT_VARIABLE KELVASET_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
configure_file(${KELVASET_PACKAGING_DIR}/${KELVASET_APP_ID}.metainfo.xml.in
    ${KELVASET_PACKAGING_OUTPUT}/${KELVASET_APP_ID}.metainfo.xml @ONLY)
install(FILES ${KELVASET_PACKAGING_OUTPUT}/${KELVASET_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the changelog are installed compressed with gzip -9n:
# no name or time in the header, so the same text makes the same file.
set(compressed_documents)
function(kelvaset_compress_document source_in plain_name)
    configure_file(${source_in} ${KELVASET_PACKAGING_OUTPUT}/plain/${plain_name} @ONLY)
    set(compressed ${KELVASET_PACKAGING_OUTPUT}/${plain_name}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND gzip -9n -c ${KELVASET_PACKAGING_OUTPUT}/plain/${plain_name} > ${compressed}
        DEPENDS ${KELVASET_PACKAGING_OUTPUT}/plain/${plain_name}
        COMMENT "Compressing ${plain_name}")
    set(compressed_documents ${compressed_documents} ${compressed} PARENT_SCOPE)
endfunction()
kelvaset_compress_document(${KELVASET_PACKAGING_DIR}/kelvaset.1.in kelvaset.1)
kelvaset_compress_document(${KELVASET_PACKAGING_DIR}/kelvane-sim.1.in kelvane-sim.1)
kelvaset_compress_document(${KELVASET_PACKAGING_DIR}/kelvaset-logger.1.in kelvaset-logger.1)
kelvaset_compress_document(${KELVASET_PACKAGING_DIR}/changelog.in changelog)
add_custom_target(kelvaset-docs ALL DEPENDS ${compressed_documents})

install(FILES ${KELVASET_PACKAGING_OUTPUT}/kelvaset.1.gz ${KELVASET_PACKAGING_OUTPUT}/kelvane-sim.1.gz
    ${KELVASET_PACKAGING_OUTPUT}/kelvaset-logger.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# A package whose version has no Debian revision is a native one, whose
# changelog is changelog.gz.
install(FILES ${KELVASET_PACKAGING_OUTPUT}/changelog.gz ${KELVASET_PACKAGING_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
install(FILES ${KELVASET_PACKAGING_DIR}/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${CPACK_PACKAGE_NAME})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VENDOR Orvanto)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.orvanto.example)
# dpkg-shlibdeps names the library packages the programs link against,
# after adduser, which the postinst uses to make the logger's account.
# deb-systemd-helper and deb-systemd-invoke, which the maintainer scripts
# use as debhelper's snippets do, come with init-system-helpers, which is
# essential.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${KELVASET_PACKAGING_DIR}/postinst ${KELVASET_PACKAGING_DIR}/prerm ${KELVASET_PACKAGING_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The first line is the one-line summary package managers list; the rest
# is shown as the package's description, one paragraph per blank line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[configure and monitor Kelvane solar irradiance sensors
Kelvaset talks to a Kelvane solar irradiance sensor over a Modbus RTU
serial line, usually through a USB serial adapter. It lists the serial
ports and follows adapters as they are plugged in and out, reads the
sensor's serial number, firmware version, status bits and configuration,
writes the configuration back and saves it in the sensor. It polls the
live irradiance, temperature and speed at a chosen period, plots them and
logs them to CSV files.

kelvaset-logger logs the sensors of one line around the clock with no
window, as a systemd service (kelvaset-logger@NAME for the project
/etc/kelvaset/NAME.kelvaset): CSV files of the samples and of interval
records, and an MQTT feed.

The package also ships kelvane-sim, a sensor simulator that answers on a
virtual serial port, for trying the program without a sensor.]=])
include(CPack)

# Checks the package built from this tree. The sanitizer build links the
# sanitizer runtimes, which are no part of what a user installs.
if(NOT KELVASET_SANITIZE)
    add_test(NAME package_deb
        COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-package.sh ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
    set_tests_properties(package_deb PROPERTIES TIMEOUT 120)
endif()
