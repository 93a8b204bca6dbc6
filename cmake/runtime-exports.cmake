# Module-definition files of the runtime library, made from the one list of
# operations and export numbers (src/runtime/runtime_operations.h), so that a
# DLL built here can never export a number the program does not bind by.
#
# usetrail_runtime_def(OUTPUT [SYMBOL routine] [WITHOUT operation...])
# writes OUTPUT, exporting every operation of the list by number and with no
# name. SYMBOL exports one routine at every number, for a library whose
# operations are never called; WITHOUT leaves operations out.
set(USETRAIL_RUNTIME_OPERATIONS ${PROJECT_SOURCE_DIR}/src/runtime/runtime_operations.h)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY
  CMAKE_CONFIGURE_DEPENDS ${USETRAIL_RUNTIME_OPERATIONS})

function(usetrail_runtime_def output)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SYMBOL" "WITHOUT")
  set(entry_regex "X\\( *([A-Za-z][A-Za-z0-9]*) *, *([0-9]+) *\\)")
  file(READ ${USETRAIL_RUNTIME_OPERATIONS} header)
  string(REGEX MATCHALL "${entry_regex}" entries "${header}")
  list(LENGTH entries count)
  if(count EQUAL 0)
    message(FATAL_ERROR "no X(operation, number) entries in ${USETRAIL_RUNTIME_OPERATIONS}")
  endif()
  set(text "; Made by the build from src/runtime/runtime_operations.h: edit that list.\n")
  string(APPEND text "LIBRARY nnotes.dll\nEXPORTS\n")
  foreach(entry IN LISTS entries)
    string(REGEX MATCH "${entry_regex}" _ "${entry}")
    if(CMAKE_MATCH_1 IN_LIST arg_WITHOUT)
      continue()
    endif()
    if(arg_SYMBOL)
      string(APPEND text "  ${CMAKE_MATCH_1}=${arg_SYMBOL} @${CMAKE_MATCH_2} NONAME\n")
    else()
      string(APPEND text "  ${CMAKE_MATCH_1} @${CMAKE_MATCH_2} NONAME\n")
    endif()
  endforeach()
  # Rewritten only when it changes, so an unchanged list links nothing again.
  file(WRITE ${output}.new "${text}")
  file(COPY_FILE ${output}.new ${output} ONLY_IF_DIFFERENT)
  file(REMOVE ${output}.new)
endfunction()
