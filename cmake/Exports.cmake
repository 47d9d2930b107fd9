# Reads src/api/exports.list ("name argument-count" per line) and writes the
# linker's export files: a version script for ELF and a .def file for
# Windows, whose i686 names carry the stdcall byte count (name@4n): linked
# with --kill-at, the DLL exports the plain names while its import library
# keeps the decorated ones that callers of the __stdcall header refer to.
function(vqhw_generate_export_files list_file out_dir)
  file(STRINGS ${list_file} lines REGEX "^[A-Za-z_]")
  set(map "{\n  global:\n")
  set(def "LIBRARY VqhwLib.dll\nEXPORTS\n")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^([A-Za-z_0-9]+)[ \t]+([0-9]+)" _ ${line})
    set(name ${CMAKE_MATCH_1})
    math(EXPR bytes "${CMAKE_MATCH_2} * 4")
    string(APPEND map "    ${name};\n")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(APPEND def "  ${name}@${bytes}\n")
    else()
      string(APPEND def "  ${name}\n")
    endif()
    list(APPEND names ${name})
  endforeach()
  string(APPEND map "  local: *;\n};\n")
  file(CONFIGURE OUTPUT ${out_dir}/VqhwLib.map CONTENT "${map}")
  file(CONFIGURE OUTPUT ${out_dir}/VqhwLib.def CONTENT "${def}")
  set(VQHW_EXPORT_NAMES ${names} PARENT_SCOPE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
endfunction()
