# The Windows build: lmvstub.exe, one self-contained 32-bit GUI executable.
#
# The package resource must be the first leaf of the resource tree and its data the last
# bytes of the resource section, and that section must be the last of the file, because the
# authoring tool cuts the stub there and appends the package. So: no relocation section
# after it (the stub never needs relocating), no debug sections (stripped), no time stamp
# (reproducible stubs). tests/unit checks the built file for all of this.
enable_language(RC)
set(stub_sources ${installer_sources})
list(FILTER stub_sources EXCLUDE REGEX "_(posix|host)\\.cpp$")

add_executable(lmvstub WIN32 ${stub_sources} ${CMAKE_SOURCE_DIR}/resources/lmvstub.rc)
target_include_directories(lmvstub PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(lmvstub PRIVATE ${LMV_WARNINGS} -fno-exceptions -fno-rtti)
target_compile_definitions(lmvstub PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0400 WINVER=0x0400)
target_link_options(lmvstub PRIVATE -static -s -mwindows
  -Wl,--disable-dynamicbase -Wl,--disable-reloc-section -Wl,--no-insert-timestamp)
target_link_libraries(lmvstub PRIVATE shell32 winmm gdi32 user32 advapi32 kernel32)
set_target_properties(lmvstub PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(TARGET lmvstub POST_BUILD
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/place_package_resource_last.py $<TARGET_FILE:lmvstub>
  COMMENT "Placing the package resource's data last in lmvstub.exe")

# The GUI driver that `lmvpack try` runs under Wine, installed beside the stub.
add_subdirectory(tools/gui_driver)

# Small Win32 programs that the end-to-end tests run inside the Wine prefix.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/win32/CMakeLists.txt)
  add_subdirectory(tests/e2e/win32)
endif()

# The authoring tool for Windows authors (its own options; the stub's are above).
include(cmake/lmvpack_windows.cmake)
