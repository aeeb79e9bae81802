# Installed like a Linux tool: manual pages made with help2man from the programs' --help and
# --version, bash
# completion for kelvane-cli, and `make package` building a Debian package (CPack) whose
# Depends dpkg-shlibdeps derives from what the programs and the library link.

find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

# kelvane-cli.1.gz and kelvane-siggen-sim.1.gz in <build>/man, remade when a program changes.
set(man_pages)
foreach(entry "kelvane-cli|command-line tool for cdma2000 1xEV-DO forward-link test signals"
              "kelvane-siggen-sim|software signal generator speaking SCPI for dry runs")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 summary)
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --name=${summary} --output=${page} $<TARGET_FILE:${program}>
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${program}
    COMMENT "Manual page of ${program} (help2man)"
    VERBATIM)
  list(APPEND man_pages ${page}.gz)
endforeach()
add_custom_target(kelvane_man ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/kelvane-cli.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kelvane-cli)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR "Kelvane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "cdma2000 1xEV-DO forward-link test signals for the production test of access terminals")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvane computes traffic- and control-channel I/Q waveforms with their markers, stores them \
in the ARB of a vector RF signal generator over LAN, RS-232 or GPIB and plays them. It holds the \
desktop program kelvane, the command-line tool kelvane-cli for production lines and the \
signal-generator simulator kelvane-siggen-sim.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kelvane developers <kelvane@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/kelvane")
# Depends from the shared libraries the binaries need (libmatio11, libqt6widgets6, ...); the
# library of the package itself is found beside the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
include(CPack)
