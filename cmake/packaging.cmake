# The Debian package and what goes into it beside the module and the tools: the man pages, the
# README, the copyright and changelog files. Everything but Debian's own files is an ordinary
# install rule, so `cmake --install` and the package carry the same module, tools and documents;
# `cpack -G DEB` (scripts/package) turns an install under /usr into tinvoicer_<version>_<arch>.deb.

include(GNUInstallDirs)
set(TINVOICER_PACKAGE_NAME tinvoicer)
set(TINVOICER_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${TINVOICER_PACKAGE_NAME})
set(TINVOICER_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

find_program(TINVOICER_HELP2MAN help2man)
find_program(TINVOICER_GZIP gzip)

# tinvoicer_add_man_page(<target> <one-line description>)
# Generates section 1 of the manual for a command-line tool from its --help text at build time and
# installs it, compressed, in man1; docs/man/<target>.h2m, when there is one, adds the sections
# that are too long for --help (help2man's --include). Without help2man, when the tool cannot run
# on the build machine, or in the sanitizer and fuzzing builds (test builds, never packaged, whose
# tools may not run cleanly outside their tests) the page is left out, with a note.
function(tinvoicer_add_man_page target description)
  if(CMAKE_CROSSCOMPILING OR NOT TINVOICER_HELP2MAN OR NOT TINVOICER_GZIP)
    message(STATUS "No man page for ${target}: needs help2man and gzip, and a tool that runs here")
    return()
  endif()
  if(TINVOICER_SANITIZE OR TINVOICER_SANITIZE_THREAD OR TINVOICER_FUZZ)
    message(STATUS "No man page for ${target} in a sanitizer or fuzzing build")
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  set(include ${PROJECT_SOURCE_DIR}/docs/man/${target}.h2m)
  set(include_option "")
  set(include_depends "")
  if(EXISTS "${include}")
    set(include_option --include=${include})
    set(include_depends ${include})
  endif()
  # The tools have no --version: the project's version is the tool's. gzip -n keeps no name or
  # time stamp, so the package is the same bytes from the same sources. help2man runs the tool
  # through the shell, so it is named from its own folder, where a blank in the build folder's
  # path cannot split it.
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${TINVOICER_HELP2MAN} --no-info --section=1
            --version-string=${PROJECT_VERSION} --name=${description} ${include_option}
            --output=${page} ./$<TARGET_FILE_NAME:${target}>
    COMMAND ${TINVOICER_GZIP} -9nf ${page}
    DEPENDS ${target} ${include_depends}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    COMMENT "Man page of ${target} from its --help"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# Debian's changelog, with the project's version, compressed like the man pages.
configure_file(${TINVOICER_PACKAGING_DIR}/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
set(TINVOICER_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${TINVOICER_CHANGELOG}
  COMMAND ${TINVOICER_GZIP} -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(tinvoicer-changelog ALL DEPENDS ${TINVOICER_CHANGELOG})

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TINVOICER_PACKAGING_DIR}/copyright
  DESTINATION ${TINVOICER_INSTALL_DOCDIR})
# The documents and pictures the README links, where its links lead (docs/man holds the man pages'
# sources, which go into the pages themselves).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${TINVOICER_INSTALL_DOCDIR}/docs
  FILES_MATCHING PATTERN "*.md" PATTERN "*.png"
  PATTERN man EXCLUDE)
# The PipeWire microphone, staged in BUILD/pipewire as it is installed: the daemon's drop-in that
# makes the source, and the client configuration of the voice that feeds it; and the systemd user
# unit that runs the voice. The unit names that configuration by its full path: the staged unit
# names the staged one, and the installed unit is written at install time, for the prefix that
# `cmake --install --prefix` or the package gives.
set(TINVOICER_PIPEWIRE_STAGE ${PROJECT_BINARY_DIR}/pipewire)
set(TINVOICER_PIPEWIRE_DESTINATION ${CMAKE_INSTALL_DATADIR}/${TINVOICER_PACKAGE_NAME}/pipewire)
foreach(file tinvoicer-microphone.conf tinvoicer-voice.conf)
  configure_file(${PROJECT_SOURCE_DIR}/pipewire/${file} ${TINVOICER_PIPEWIRE_STAGE}/${file} COPYONLY)
endforeach()
install(FILES ${TINVOICER_PIPEWIRE_STAGE}/tinvoicer-microphone.conf ${TINVOICER_PIPEWIRE_STAGE}/tinvoicer-voice.conf
  DESTINATION ${TINVOICER_PIPEWIRE_DESTINATION})
set(TINVOICER_PIPEWIRE_UNIT ${PROJECT_SOURCE_DIR}/pipewire/tinvoicer-microphone.service.in)
set(TINVOICER_PIPEWIRE_DIR ${TINVOICER_PIPEWIRE_STAGE})
configure_file(${TINVOICER_PIPEWIRE_UNIT} ${TINVOICER_PIPEWIRE_STAGE}/systemd/tinvoicer-microphone.service @ONLY)
# lib/systemd/user under the prefix is where systemd looks for the user units of packages.
install(CODE "
  set(TINVOICER_PIPEWIRE_DIR \"\${CMAKE_INSTALL_PREFIX}/${TINVOICER_PIPEWIRE_DESTINATION}\")
  configure_file(\"${TINVOICER_PIPEWIRE_UNIT}\" \"${PROJECT_BINARY_DIR}/packaging/systemd/tinvoicer-microphone.service\" @ONLY)
  file(INSTALL \"${PROJECT_BINARY_DIR}/packaging/systemd/tinvoicer-microphone.service\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\")
")
# What only the Debian package carries: Debian's changelog and lintian's overrides. They are the
# component "debian", which a plain `cmake --install` leaves out and the package adds (below).
install(FILES ${TINVOICER_CHANGELOG}
  DESTINATION ${TINVOICER_INSTALL_DOCDIR}
  COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${TINVOICER_PACKAGING_DIR}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME ${TINVOICER_PACKAGE_NAME}
  COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
# One package: everything a plain install puts in but the Python edition (the component "python",
# which is the package python3-tinvoicer: python/CMakeLists.txt), and the component "debian".
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};Unspecified;/"
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
set(CPACK_PACKAGE_NAME ${TINVOICER_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR Vexa)
# One version for the project, the package and the man pages; its major number is the module's
# vendor version.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tinvoicer maintainers <maintainers@users.noreply.c-seed-23edde1e.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monotone robot-voice effect (VST 2 and LV2 plug-ins)")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${TINVOICER_PACKAGING_DIR}/description)
include(CPack)
