# Installed layout (prefix /usr in the package): the programs and tacdex.csv together in
# lib/quillon, since each program reads the database beside its own real executable; bin holds
# relative links to them.
set(QUILLON_INSTALL_DIR lib/quillon)
set(QUILLON_LINK_DIR ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${QUILLON_LINK_DIR})

function(quillon_install_program target)
    install(TARGETS ${target} RUNTIME DESTINATION ${QUILLON_INSTALL_DIR})
    file(CREATE_LINK ../${QUILLON_INSTALL_DIR}/${target} ${QUILLON_LINK_DIR}/${target} SYMBOLIC)
    install(FILES ${QUILLON_LINK_DIR}/${target} DESTINATION bin)
endfunction()

quillon_install_program(quillon-cli)
# The window program exists only when the window is built.
if(TARGET quillon)
    quillon_install_program(quillon)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillon.desktop DESTINATION share/applications)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillon.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()
install(FILES ${QUILLON_DATABASE} DESTINATION ${QUILLON_INSTALL_DIR})

# Man pages are installed compressed, as Debian expects; -n keeps the archive free of a time stamp.
find_program(QUILLON_GZIP gzip REQUIRED)
set(QUILLON_MAN_PAGE ${CMAKE_BINARY_DIR}/packaging/quillon-cli.1.gz)
add_custom_command(OUTPUT ${QUILLON_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${QUILLON_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/quillon-cli.1 > ${QUILLON_MAN_PAGE}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/quillon-cli.1
    VERBATIM)
add_custom_target(quillon_man_page ALL DEPENDS ${QUILLON_MAN_PAGE})
install(FILES ${QUILLON_MAN_PAGE} DESTINATION share/man/man1)
