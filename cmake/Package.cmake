# SPDX-License-Identifier: MIT
# The Debian packages: `make package` (cpack -G DEB in the build folder) writes one package per
# component of cmake/Install.cmake: quillon-data (architecture all), quillon-cli and quillon. The
# version is the program's own, without a Debian revision. Dependencies on shared libraries are
# worked out by dpkg-shlibdeps from each package's own programs, so quillon-cli depends on the C++
# runtime only and quillon on Qt.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${QUILLON_MAKER_NAME}")
set(CPACK_PACKAGE_CONTACT "${QUILLON_MAKER_NAME} <${QUILLON_MAKER_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${QUILLON_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://${QUILLON_MAKER_HOST}/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(QUILLON_DESCRIPTION_COMMON
    "Quillon checks a mobile phone's IMEI number: it cleans the text, splits it
into reporting body, Type Allocation Code and serial number, shows the Luhn
working and the verdict, and looks the device up in a local database. It also
generates valid numbers for a model family, a device or a code.")

set(CPACK_DEBIAN_DATA_PACKAGE_NAME quillon-data)
set(CPACK_DEBIAN_DATA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_DATA_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_DATA_DESCRIPTION "device database of the Quillon IMEI tool
${QUILLON_DESCRIPTION_COMMON}

This package holds the device database tacdex.csv, which maps Type Allocation
Codes to manufacturers and models, for quillon and quillon-cli.")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME quillon-cli)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "quillon-data (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_CLI_DESCRIPTION "IMEI validation and generation on the command line
${QUILLON_DESCRIPTION_COMMON}

This package holds quillon-cli, which validates IMEIs given as arguments or on
standard input (text, CSV or JSON output) and generates valid numbers, for
scripts and batch work. It needs no graphical libraries.")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME quillon)
# The window icon is an SVG, drawn through Qt's SVG image plugin, which no linked library names.
# ca-certificates: the update check follows redirects to https addresses.
set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
    "quillon-data (= ${PROJECT_VERSION}), quillon-cli (= ${PROJECT_VERSION}), libqt6svg6, ca-certificates")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "IMEI validation and generation tool
${QUILLON_DESCRIPTION_COMMON}

This package holds the window program quillon.")

include(CPack)

# Builds the packages from the installed layout, checks them with lintian, desktop-file-validate and
# appstreamcli, unpacks them into a temporary root and runs the programs from there.
if(NOT QUILLON_SANITIZE AND NOT QUILLON_BUILD_FUZZ)
    add_test(NAME package_deb
        COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-package.sh ${CMAKE_BINARY_DIR} ${CMAKE_CPACK_COMMAND}
                ${PROJECT_VERSION} ${QUILLON_APP_ID})
    set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 600 ENVIRONMENT "LANG=C.UTF-8")
endif()
