# The Windows build: lmvstub.exe, one self-contained 32-bit GUI executable.
#
# The package resource must be the first leaf of the resource tree and its data the last
# bytes of the resource section, and that section must be the last of the file, because the
# authoring tool cuts the stub there and appends the package. The linker puts the relocation
# section after it, so the post-link step moves that section in front. No debug sections
# (stripped), no time stamp (reproducible stubs). tests/unit checks the built file for all of
# this.
#
# Hardening: address-space layout randomisation (relocations kept) and no-execute data;
# terminal-server aware, so that on a Remote Desktop host its writes to the Windows directory
# and system.ini reach the system's own (not a per-user copy the uninstaller never sees); an
# import table of KnownDLLs only (anything else is loaded from the system directory by full
# path, see platform/system_paths_win32.h), so no library beside the installer is loaded
# before its first instruction.
#
# Size, since every download carries the stub: no unwind tables (no exceptions here), each
# function in a section of its own so that the linker drops what nothing calls, no frame
# pointer (this compiler keeps one for Windows targets even at -Os; 0.5 KB). Not so for
# data (-fdata-sections): this linker's script for Windows files zeroed objects of their own
# sections under initialised data, which would put the decoder's buffers into the file.
enable_language(RC)
set(stub_sources ${installer_sources})
list(FILTER stub_sources EXCLUDE REGEX "_host\\.cpp$")

# The resource compiler reports no dependencies: the files the .rc pulls in are named here.
set(release_version_resource ${CMAKE_SOURCE_DIR}/resources/release_version.rc
    ${CMAKE_BINARY_DIR}/generated/release_version.h)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/lmvstub.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/resources/lmvstub.manifest;${CMAKE_SOURCE_DIR}/resources/lmvstub.ico;${CMAKE_SOURCE_DIR}/resources/package_placeholder.bin;${CMAKE_SOURCE_DIR}/resources/resource_ids.h;${release_version_resource}")
add_executable(lmvstub WIN32 ${stub_sources} ${CMAKE_SOURCE_DIR}/resources/lmvstub.rc)
target_include_directories(lmvstub PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_compile_options(lmvstub PRIVATE ${LMV_WARNINGS} -fno-exceptions -fno-rtti
  -fno-asynchronous-unwind-tables -fno-unwind-tables -ffunction-sections -fomit-frame-pointer)
target_compile_definitions(lmvstub PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0400 WINVER=0x0400)
target_link_options(lmvstub PRIVATE -static -s -mwindows -Wl,--gc-sections
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware -Wl,--enable-reloc-section
  -Wl,--no-insert-timestamp)
target_link_libraries(lmvstub PRIVATE shell32 gdi32 user32 advapi32 kernel32)
# Our own start-up (platform/program_start_win32.cpp) instead of the C runtime's, which brings
# constructors, exit handlers, thread-local storage and their unwind tables the stub never uses.
target_link_options(lmvstub PRIVATE -nostartfiles)
set_target_properties(lmvstub PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(TARGET lmvstub POST_BUILD
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/place_package_resource_last.py $<TARGET_FILE:lmvstub>
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/write_pe_checksum.py $<TARGET_FILE:lmvstub>
  COMMENT "Placing the package resource's data last in lmvstub.exe; its checksum")

include(cmake/uninstaller.cmake)
add_subdirectory(samples/aurora)

# The GUI driver that `lmvpack try` runs under Wine, installed beside the stub.
add_subdirectory(tools/gui_driver)

# Small Win32 programs that the end-to-end tests run inside the Wine prefix.
if(LMV_BUILD_TESTS AND EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/win32/CMakeLists.txt)
  add_subdirectory(tests/e2e/win32)
endif()

# The authoring tool for Windows authors (its own options; the stub's are above).
add_subdirectory(tools/lmvpack)

# What the packages take from this build (scripts/release.sh installs each component):
#   linux:   the files lmvpack finds beside itself (<prefix>/share/lmvpack), for the .deb and
#            the Linux archive; the native build installs the rest of them;
#   windows: the Windows author's folder of the zip, lmvpack.exe with its files beside it.
# The stub is installed as a file, not as a target, so that an installation with --strip
# never touches the layout that the post-link steps made.
install(FILES $<TARGET_FILE:lmvstub> $<TARGET_FILE:lmvuninst> $<TARGET_FILE:gui_driver>
        DESTINATION share/lmvpack COMPONENT linux)
install(FILES $<TARGET_FILE:lmvstub> $<TARGET_FILE:lmvuninst> DESTINATION . COMPONENT windows)
lmv_install_documents(. windows)
