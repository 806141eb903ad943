# The Debian package: everything the install rules put in place, as
# pelmora_<version>_<architecture>.deb, made by `cpack -G DEB` in a Release build.

set(PELMORA_MAINTAINER "The Pelmora authors <maintainers@pelmora.example>"
    CACHE STRING "Maintainer named in the package")

# Files a Debian package carries beside the programs, compressed as Debian wants them.
set(package_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/pelmora)
set(compressed_dir ${CMAKE_BINARY_DIR}/compressed)
set(compressed_files)
function(pelmora_compress source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed_dir}
    COMMAND gzip -9n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  set(compressed_files ${compressed_files} ${output} PARENT_SCOPE)
endfunction()

foreach(page IN ITEMS Pelmora pelmora-cli pelmora-sim)
  pelmora_compress(${PROJECT_SOURCE_DIR}/res/man/${page}.1 ${compressed_dir}/${page}.1.gz)
  install(FILES ${compressed_dir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# The lower-case name of the panel has the panel's page.
file(MAKE_DIRECTORY ${compressed_dir})
file(CREATE_LINK Pelmora.1.gz ${compressed_dir}/pelmora.1.gz SYMBOLIC)
install(FILES ${compressed_dir}/pelmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The SCPI server as a service, left for the administrator to enable.
install(FILES ${PROJECT_SOURCE_DIR}/res/package/pelmora-serve.service
        DESTINATION lib/systemd/system)

pelmora_compress(${PROJECT_SOURCE_DIR}/res/package/changelog ${compressed_dir}/changelog.gz)
install(FILES ${compressed_dir}/changelog.gz DESTINATION ${package_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${package_doc_dir} RENAME copyright)
add_custom_target(compressed_documents ALL DEPENDS ${compressed_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pelmora authors")
set(CPACK_PACKAGE_CONTACT "${PELMORA_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for a dual-rail USB power supply")
# CPack puts the summary in front as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Pelmora sets the voltages of a dual-rail laboratory power supply attached
over USB, switches its output on and off, and shows the current of each rail,
plotted over time and recorded to CSV on request. It finds the supply again
after it was unplugged and switches its output off on every exit.
.
pelmora-cli scripts, logs and diagnoses the supply from a shell;
pelmora-sim simulates the supply, and 'Pelmora --demo' runs the panel
against it without any hardware.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PELMORA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Libraries from the binaries; what Qt loads at run time, which they do not show, by hand: the
# platform plugins, Qt's own texts in the panel's languages, and a font with the panel's Japanese.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic")
# pelmora-cli serve announces itself through the Avahi daemon when one runs; a daemon that
# multicasts on every network is the administrator's choice, not the package's.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "avahi-daemon")
set(CPACK_STRIP_FILES ON)
# Modes as Debian wants them, whatever the umask of whoever builds.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
