# SPDX-License-Identifier: MIT
# Installed layout (prefix /usr in the packages), in three components that become three packages:
#   data    quillon-data  share/quillon/tacdex.csv, and lib/quillon/tacdex.csv linking to it
#   cli     quillon-cli   lib/quillon/quillon-cli, bin/quillon-cli, its man page and bash completion
#   window  quillon       lib/quillon/quillon, bin/quillon, man page, desktop entry, icon, metainfo
# Each program reads tacdex.csv beside its own real executable, so the programs live in lib/quillon
# next to the link to the shared database, and bin holds relative links to them. Every path belongs
# to exactly one component.
set(QUILLON_INSTALL_DIR lib/quillon)
set(QUILLON_DATA_DIR share/quillon)
set(QUILLON_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${QUILLON_PACKAGING_DIR}/links)

# Package name of each component.
set(QUILLON_PACKAGE_data quillon-data)
set(QUILLON_PACKAGE_cli quillon-cli)
set(QUILLON_PACKAGE_window quillon)

find_program(QUILLON_GZIP gzip REQUIRED)
# Compresses a file as Debian expects (-9, -n: no name or time stamp in the archive).
function(quillon_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND ${QUILLON_GZIP} -9 -n -c ${source} > ${output}
        DEPENDS ${source}
        VERBATIM)
    get_filename_component(name ${output} NAME)
    string(MAKE_C_IDENTIFIER "quillon_gz_${name}" target)
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

function(quillon_install_link link_target name destination component)
    file(CREATE_LINK ${link_target} ${QUILLON_PACKAGING_DIR}/links/${name} SYMBOLIC)
    install(FILES ${QUILLON_PACKAGING_DIR}/links/${name} DESTINATION ${destination} COMPONENT ${component})
endfunction()

function(quillon_install_program target component)
    install(TARGETS ${target} RUNTIME DESTINATION ${QUILLON_INSTALL_DIR} COMPONENT ${component})
    quillon_install_link(../${QUILLON_INSTALL_DIR}/${target} ${target} bin ${component})
    # The page names the version of project(VERSION).
    configure_file(${CMAKE_SOURCE_DIR}/packaging/${target}.1 ${QUILLON_PACKAGING_DIR}/${target}.1 @ONLY)
    quillon_gzip(${QUILLON_PACKAGING_DIR}/${target}.1 ${QUILLON_PACKAGING_DIR}/${target}.1.gz)
    install(FILES ${QUILLON_PACKAGING_DIR}/${target}.1.gz DESTINATION share/man/man1 COMPONENT ${component})
endfunction()

# The licence (machine-readable copyright file) and the changelog of every package.
set(QUILLON_COPYRIGHT ${QUILLON_PACKAGING_DIR}/copyright)
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${QUILLON_COPYRIGHT} @ONLY)
quillon_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${QUILLON_PACKAGING_DIR}/changelog.gz)
function(quillon_install_package_docs component)
    install(FILES ${QUILLON_COPYRIGHT} ${QUILLON_PACKAGING_DIR}/changelog.gz
        DESTINATION share/doc/${QUILLON_PACKAGE_${component}} COMPONENT ${component})
endfunction()

# data: the database in share/quillon, and the link the programs find beside themselves.
install(FILES ${QUILLON_DATABASE} DESTINATION ${QUILLON_DATA_DIR} COMPONENT data)
quillon_install_link(../../${QUILLON_DATA_DIR}/tacdex.csv tacdex.csv ${QUILLON_INSTALL_DIR} data)
quillon_install_package_docs(data)
set(QUILLON_COMPONENTS data)

# cli
quillon_install_program(quillon-cli cli)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillon-cli.bash-completion
    DESTINATION share/bash-completion/completions RENAME quillon-cli COMPONENT cli)
quillon_install_package_docs(cli)
list(APPEND QUILLON_COMPONENTS cli)

# window: exists only when the window is built.
if(TARGET quillon)
    quillon_install_program(quillon window)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillon.desktop DESTINATION share/applications COMPONENT window)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillon.svg
        DESTINATION share/icons/hicolor/scalable/apps COMPONENT window)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/quillon.metainfo.xml.in
        ${QUILLON_PACKAGING_DIR}/${QUILLON_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${QUILLON_PACKAGING_DIR}/${QUILLON_APP_ID}.metainfo.xml DESTINATION share/metainfo COMPONENT window)
    quillon_install_package_docs(window)
    list(APPEND QUILLON_COMPONENTS window)
endif()
