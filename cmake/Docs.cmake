# The `docs` target: the HTML reference of the public header, with the page
# of status codes generated from the library's status table, and the same
# reference as section 3 manual pages (compressed, as they are installed).
# Doxygen warnings are fatal, so every export keeps its reference entry.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND OR CMAKE_CROSSCOMPILING)
  message(STATUS "Doxygen not found (doxygen): no docs target")
  return()
endif()

# The status table's unit depends on nothing else of the library.
add_executable(vqhw_status_page
  ${PROJECT_SOURCE_DIR}/docs/status_page.cpp
  ${PROJECT_SOURCE_DIR}/src/protocol/status_tables.cpp)
target_include_directories(vqhw_status_page PRIVATE
  ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vqhw_status_page PRIVATE vqhw_warnings)
set_target_properties(vqhw_status_page PROPERTIES EXCLUDE_FROM_ALL ON)

set(vqhw_docs_out ${PROJECT_BINARY_DIR}/docs)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${vqhw_docs_out}/Doxyfile @ONLY)
add_custom_command(OUTPUT ${vqhw_docs_out}/status_codes.md
  COMMAND vqhw_status_page ${vqhw_docs_out}/status_codes.md
  DEPENDS vqhw_status_page
  COMMENT "Writing the status-code page from the library's status table"
  VERBATIM)
add_custom_command(OUTPUT ${vqhw_docs_out}/html/index.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${vqhw_docs_out}/man
  COMMAND ${DOXYGEN_EXECUTABLE} ${vqhw_docs_out}/Doxyfile
  DEPENDS ${vqhw_docs_out}/Doxyfile ${vqhw_docs_out}/status_codes.md
          ${PROJECT_SOURCE_DIR}/include/VqhwLib.h ${PROJECT_SOURCE_DIR}/docs/mainpage.md
  WORKING_DIRECTORY ${vqhw_docs_out}
  COMMENT "Building the HTML reference in ${vqhw_docs_out}/html"
  VERBATIM)
add_custom_command(OUTPUT ${vqhw_docs_out}/man-installed/open_reader.3vqhw.gz
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${vqhw_docs_out}/man-installed
  COMMAND ${CMAKE_COMMAND} -E make_directory ${vqhw_docs_out}/man-installed
  COMMAND sh -c "for page in man/man3/*.3vqhw; do gzip -9nc \"$page\" > man-installed/\"\${page##*/}\".gz || exit 1; done"
  DEPENDS ${vqhw_docs_out}/html/index.html
  WORKING_DIRECTORY ${vqhw_docs_out}
  COMMENT "Compressing the manual pages"
  VERBATIM)
add_custom_target(docs DEPENDS ${vqhw_docs_out}/html/index.html ${vqhw_docs_out}/man-installed/open_reader.3vqhw.gz)
