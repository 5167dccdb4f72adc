# The installed layout: the program folder holds Kavel, its window module, its database reader
# and Tolvan side by side, plus the names the main application starts them by (Kavel.exe,
# Tolvan.exe) as links.
# `cmake --install <build> --prefix <program folder>` installs into any folder; the Debian
# package (scripts/package.sh) installs into /opt/norvik/.
#
# Nothing of the build tree is needed at run time: the window module and the database reader are
# found beside the real program file, fonts through fontconfig and the hyphenation patterns in
# hyphen-ru's system folder. The module takes the engine and common from the program that loads
# it (they are not libraries of their own).

set(NORVIK_INSTALLED_PROGRAMS)
foreach(program Kavel Tolvan)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION .)
    list(APPEND NORVIK_INSTALLED_PROGRAMS ${program})
  endif()
endforeach()
if(TARGET kavel_window)
  install(TARGETS kavel_window LIBRARY DESTINATION .)
endif()
if(TARGET Kavel)
  install(TARGETS kavel-mdb-reader RUNTIME DESTINATION .)  # Kavel starts it to read the database
endif()

foreach(program ${NORVIK_INSTALLED_PROGRAMS})
  # A relative link, so that the folder can be moved or copied as a whole.
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}.exe\")
    message(STATUS \"Installing: \${link} -> ${program}\")
    file(CREATE_LINK ${program} \"\${link}\" SYMBOLIC)
  ")
endforeach()

# Files outside the program folder that only the Debian package installs (an install into a
# program folder of one's own must not write elsewhere): the desktop entry for Tolvan, the
# copyright and change log, and lintian's note that /opt is this package's place on purpose.
option(NORVIK_SYSTEM_FILES "Install the package's files outside the program folder" OFF)
if(NORVIK_SYSTEM_FILES)
  set(package norvik-companions)
  set(NORVIK_PROGRAM_FOLDER "${NORVIK_PACKAGE_FOLDER}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/norvik-tolvan.desktop.in
                 ${PROJECT_BINARY_DIR}/packaging/norvik-tolvan.desktop @ONLY)
  string(TIMESTAMP NORVIK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in
                 ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
  execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/packaging/changelog)
  if(TARGET Tolvan)
    install(FILES ${PROJECT_BINARY_DIR}/packaging/norvik-tolvan.desktop
            DESTINATION /usr/share/applications)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
                ${PROJECT_BINARY_DIR}/packaging/changelog.gz
          DESTINATION /usr/share/doc/${package})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
          DESTINATION /usr/share/lintian/overrides RENAME ${package})
endif()
