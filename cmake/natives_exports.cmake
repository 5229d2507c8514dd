# Export definitions of a module that holds the natives, written by natives_exports.py from the
# registration table and the natives compiled into an object library (see the script for the
# rules). List the .def among the module's sources.
#
#   natives_export_definitions(<def file> <object library> [STUBS <source file>])
#
# STUBS (test modules): export every native of the table, those without a body bound to
# generated stand-ins written to the source file, which becomes a source of the module too.
find_package(Python3 COMPONENTS Interpreter REQUIRED)

function(natives_export_definitions def_file object_library)
  cmake_parse_arguments(arg "" "STUBS" "" ${ARGN})
  set(table ${PROJECT_SOURCE_DIR}/src/natives/registration_table.cpp)
  set(script ${PROJECT_SOURCE_DIR}/cmake/natives_exports.py)
  set(command ${Python3_EXECUTABLE} ${script} --table ${table} --nm ${CMAKE_NM} --def ${def_file})
  set(outputs ${def_file})
  # Only 32-bit Windows decorates stdcall names.
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND command --decorated)
  endif()
  if(arg_STUBS)
    list(APPEND command --stubs ${arg_STUBS})
    list(APPEND outputs ${arg_STUBS})
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${command} $<TARGET_OBJECTS:${object_library}>
    DEPENDS ${script} ${table} $<TARGET_OBJECTS:${object_library}>
    COMMENT "Export definitions ${def_file}"
    COMMAND_EXPAND_LISTS VERBATIM)
endfunction()
