# Packages: on Windows a zip of the program and the README, without the
# stand-in runtime (the real nnotes.dll comes with the database client); on
# Linux a tarball of the program with the stand-in and the sample-data
# generator, so the tool can be tried without the client.
if(WIN32)
  install(TARGETS usetrail RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  # The static C runtime brings debug sections; the shipped program has none.
  set(CPACK_STRIP_FILES TRUE)
  set(CPACK_PACKAGE_FILE_NAME usetrail-${PROJECT_VERSION}-win64)
else()
  set_target_properties(usetrail PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS usetrail RUNTIME DESTINATION .)
  if(TARGET usetrail-sampledata)
    install(TARGETS usetrail-sampledata RUNTIME DESTINATION .)
  endif()
  install(TARGETS nnotes LIBRARY DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME usetrail-${PROJECT_VERSION}-linux-x86_64)
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_NAME usetrail)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
include(CPack)
