# The Debian package: `make package` (cpack -G DEB in the build folder). Dependencies on shared
# libraries are worked out by dpkg-shlibdeps from the built programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${QUILLON_MAKER_NAME}")
set(CPACK_PACKAGE_CONTACT "${QUILLON_MAKER_NAME} <${QUILLON_MAKER_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "IMEI validation and generation tool")
set(CPACK_PACKAGE_DESCRIPTION "Quillon checks a mobile phone's IMEI number: it cleans the text, splits it into \
reporting body, Type Allocation Code and serial number, shows the Luhn working and the verdict, and looks the \
device up in a local database. It also generates valid numbers for a model family or code. The package holds \
the window program quillon and the command-line program quillon-cli.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://${QUILLON_MAKER_HOST}/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)

# Builds the package from the installed layout, unpacks it into a temporary root and runs the
# programs from there.
if(NOT QUILLON_SANITIZE AND NOT QUILLON_BUILD_FUZZ)
    add_test(NAME package_deb
        COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-package.sh ${CMAKE_BINARY_DIR} ${CMAKE_CPACK_COMMAND})
    set_tests_properties(package_deb PROPERTIES LABELS package TIMEOUT 300 ENVIRONMENT "LANG=C.UTF-8")
endif()
