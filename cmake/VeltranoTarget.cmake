# House settings for every target of the project, applied per target (no global flags).
function(veltrano_target target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  set_target_properties(${target} PROPERTIES CXX_EXTENSIONS OFF)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
  # GCC 12 reports std::string copies as overlapping memcpy at -O3 (its bug 105329): noise, not
  # a finding, and fatal under -Werror.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(VELTRANO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A shared library that exports only what its headers mark as public API.
function(veltrano_hidden_visibility target)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# An installed shared library finds the project's other libraries in its own folder.
function(veltrano_library_runpath target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
endfunction()

# Installs a program into the bin folder; it finds the project's libraries in the installed lib
# folder beside it, so the installed tree runs from wherever it was put.
function(veltrano_install_program target)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# The name (SONAME) a shared library file declares, for a library loaded on first use.
function(veltrano_soname out library)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${library} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT headers MATCHES "SONAME +([^ \n]+)")
    message(FATAL_ERROR "no SONAME in ${library}")
  endif()
  set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
