# lmvuninst.exe, the uninstaller that lmvpack packs as UNINSTAL.EXE when the manifest names no
# other one. Built like the installer stub (static, GUI, no exceptions, imports from KnownDLLs
# only: kernel32, user32, advapi32 and the C runtime msvcrt), but, not carrying a package at
# its end, with the linker's defaults for today's Windows kept: ASLR with a relocation
# section, DEP, and a time-stamp-free, reproducible file.
file(GLOB uninstaller_win32_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/uninstaller/*_win32.cpp)
add_executable(lmvuninst WIN32 ${uninstaller_portable_sources} ${uninstaller_win32_sources}
               ${CMAKE_SOURCE_DIR}/install/folder_securing.cpp
               ${CMAKE_SOURCE_DIR}/install/folder_securing_win32.cpp
               ${CMAKE_SOURCE_DIR}/install/folder_security.cpp
               ${CMAKE_SOURCE_DIR}/install/install_layout.cpp
               ${CMAKE_SOURCE_DIR}/install/ownership_verdict.cpp
               ${CMAKE_SOURCE_DIR}/platform/instance_lock.cpp
               ${CMAKE_SOURCE_DIR}/platform/instance_lock_win32.cpp
               ${CMAKE_SOURCE_DIR}/platform/library_search_win32.cpp
               ${CMAKE_SOURCE_DIR}/platform/windows_directory_win32.cpp
               ${CMAKE_SOURCE_DIR}/uninstaller/lmvuninst.rc)
# Lean, as the stub: the system's formatting (FormatText) instead of the compiler's printf, no
# unwind tables (no exceptions), no frame pointer, every function in a section of its own so that the linker
# drops what nothing calls, and our own start-up instead of the C runtime's.
target_sources(lmvuninst PRIVATE ${CMAKE_SOURCE_DIR}/platform/format_text.cpp
               ${CMAKE_SOURCE_DIR}/platform/command_line.cpp
               ${CMAKE_SOURCE_DIR}/platform/program_start_win32.cpp)
target_compile_options(lmvuninst PRIVATE -fno-asynchronous-unwind-tables -fno-unwind-tables
                       -ffunction-sections -fomit-frame-pointer)
target_link_options(lmvuninst PRIVATE -nostartfiles -Wl,--gc-sections)
target_include_directories(lmvuninst PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
set_source_files_properties(${CMAKE_SOURCE_DIR}/uninstaller/lmvuninst.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/uninstaller/lmvuninst.manifest;${CMAKE_SOURCE_DIR}/resources/lmvstub.ico;${release_version_resource}")
target_compile_options(lmvuninst PRIVATE ${LMV_WARNINGS} -fno-exceptions -fno-rtti)
target_compile_definitions(lmvuninst PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX
                           _WIN32_WINNT=0x0400 WINVER=0x0400)
target_link_options(lmvuninst PRIVATE -static -s -mwindows
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware -Wl,--no-insert-timestamp)
target_link_libraries(lmvuninst PRIVATE user32 advapi32 kernel32)
set_target_properties(lmvuninst PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
