# What `make install` and the Debian package (`make deb`) hold: the native program in
# bin; Setup.exe of each mingw build that was given (SETUP_WIN32_EXE, SETUP_WIN64_EXE) in
# the data directory, share/setup/win32 and share/setup/win64, for the packaging of the
# Windows program; the manual and the script reference in the doc directory; and the man
# page setup(1), made by help2man from --help and --version so that it never disagrees
# with them.
install(TARGETS setup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(build win32 win64)
  string(TOUPPER ${build} upper)
  if(SETUP_${upper}_EXE)
    install(FILES ${SETUP_${upper}_EXE} DESTINATION ${CMAKE_INSTALL_DATADIR}/setup/${build})
  endif()
endforeach()
install(FILES docs/manual.md docs/script.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

find_program(SETUP_HELP2MAN help2man)
if(SETUP_HELP2MAN)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/setup.1
    COMMAND ${SETUP_HELP2MAN} --no-info --section=1
            "--name=run a Setup.Inf script into a Wine prefix"
            --output=${CMAKE_BINARY_DIR}/setup.1 $<TARGET_FILE:setup>
    DEPENDS setup
    COMMENT "help2man: setup.1")
  add_custom_target(setup_man ALL DEPENDS ${CMAKE_BINARY_DIR}/setup.1)
  install(FILES ${CMAKE_BINARY_DIR}/setup.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: no man page (tools/deps.sh installs it)")
endif()

# The Debian package: the same files under the configured prefix (make deb: /usr), so
# that the paths --help names are where the package puts them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME setup)
set(CPACK_PACKAGE_VENDOR "The setup authors")
set(CPACK_PACKAGE_CONTACT "The setup authors <setup@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "script-driven Windows setup program, native over a Wine prefix")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS wine)
set(CPACK_STRIP_FILES ON)
include(CPack)
