# What the Windows build needs besides the compiler: libgcrypt from Debian's MinGW package, and
# GoogleTest built from Debian's sources (there is no MinGW build of it).

find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
find_library(GCRYPT_LIBRARY NAMES gcrypt libgcrypt REQUIRED)
add_library(PkgConfig::GCRYPT INTERFACE IMPORTED)
target_include_directories(PkgConfig::GCRYPT INTERFACE ${GCRYPT_INCLUDE_DIR})
target_link_libraries(PkgConfig::GCRYPT INTERFACE ${GCRYPT_LIBRARY})

# Every program and DLL in one folder, so that tests find the project's DLLs beside them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# Windows 7 and later; wide-character Win32 calls.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)

if(VELTRANO_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # Its own CMake file names the targets GTest::gtest, GTest::gtest_main and GTest::gmock.
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
