# The API reference: `cmake --build <build> --target docs` (or `make docs`)
# runs Doxygen over exactly the public headers the SDK installs, with the
# README as its main page, the files of docs/ as pages and the examples, into
# ZQ_DOCS_DIR/html. Any Doxygen warning (an undocumented public class or
# member, a broken reference) fails the target. The headers' // comments are
# read as they are written (cmake/ZQDoxygenFilter.awk).
set(ZQ_DOCS_DIR "${CMAKE_BINARY_DIR}/docs" CACHE PATH
  "Where the docs target writes the API reference (html/ below it)")

find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  add_custom_target(docs
    COMMAND "${CMAKE_COMMAND}" -E echo
      "docs: doxygen is missing; scripts/install-deps.sh installs it"
    COMMAND "${CMAKE_COMMAND}" -E false)
  return()
endif()

file(GLOB ZQ_DOCS_PAGES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/docs/*.md")
set(ZQ_DOCS_HEADERS)
foreach(header IN LISTS ZQ_PUBLIC_HEADERS)
  list(APPEND ZQ_DOCS_HEADERS "${PROJECT_SOURCE_DIR}/${header}")
endforeach()
list(APPEND ZQ_DOCS_HEADERS ${ZQ_DLCOM_HEADERS})
set(ZQ_DOCS_INPUT_LIST
  "${PROJECT_SOURCE_DIR}/README.md" ${ZQ_DOCS_PAGES}
  "${PROJECT_SOURCE_DIR}/docs/reference/examples.dox" ${ZQ_DOCS_HEADERS})
list(JOIN ZQ_DOCS_INPUT_LIST " \\\n    " ZQ_DOCS_INPUT)
configure_file("${PROJECT_SOURCE_DIR}/docs/Doxyfile.in"
  "${PROJECT_BINARY_DIR}/Doxyfile" @ONLY)

add_custom_command(
  OUTPUT "${ZQ_DOCS_DIR}/html/index.html"
  COMMAND "${CMAKE_COMMAND}" -E rm -rf "${ZQ_DOCS_DIR}/html"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${ZQ_DOCS_DIR}"
  COMMAND "${DOXYGEN_EXECUTABLE}" "${PROJECT_BINARY_DIR}/Doxyfile"
  DEPENDS ${ZQ_DOCS_INPUT_LIST} "${PROJECT_BINARY_DIR}/Doxyfile"
          "${PROJECT_SOURCE_DIR}/cmake/ZQDoxygenFilter.awk"
          "${PROJECT_SOURCE_DIR}/cmake/ZQDoxygenMarkdown.awk"
  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
  COMMENT "Doxygen: the API reference in ${ZQ_DOCS_DIR}/html"
  VERBATIM)
add_custom_target(docs DEPENDS "${ZQ_DOCS_DIR}/html/index.html")
