# lmvpack.exe: the authoring tool for authors working on Windows, built from the same sources
# as the Linux tool. It is a console program that the installer never sees, so unlike the stub
# it uses exceptions and RTTI and links the C++ runtime statically (nothing to ship beside it).
#
# The header-only libraries come from the build machine's /usr/include, but that folder also
# holds glibc's headers, which must not shadow mingw's. So a folder of this build links to
# just those three libraries.
set(lmvpack_host_headers ${CMAKE_BINARY_DIR}/lmvpack_host_headers)
file(MAKE_DIRECTORY ${lmvpack_host_headers})
foreach(library CLI toml++ nlohmann)
  if(NOT IS_DIRECTORY /usr/include/${library})
    message(FATAL_ERROR "lmvpack.exe needs /usr/include/${library} (Debian: libcli11-dev, "
                        "libtomlplusplus-dev, nlohmann-json3-dev)")
  endif()
  file(CREATE_LINK /usr/include/${library} ${lmvpack_host_headers}/${library} SYMBOLIC)
endforeach()

# The installer's portable code and the hosts' kernel layer (*_host.cpp), as the Linux tool's
# core library has them. Of the Linux-only files, the write-failure report is plain stdio and
# fits Windows as it is.
set(lmvpack_windows_sources ${installer_sources})
list(FILTER lmvpack_windows_sources EXCLUDE REGEX "_(win32|posix)\\.cpp$")
file(GLOB lmvpack_tool_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/lmvpack/*.cpp)
# sign and try run Linux programs (osslsigncode, Wine); a Windows author signs with signtool
# and tries the installer itself.
list(FILTER lmvpack_tool_sources EXCLUDE REGEX "_posix\\.cpp$")
# The title preview draws with the installer's own painting code, the one Win32 file of the
# installer that the tool shares.
list(APPEND lmvpack_windows_sources ${lmvpack_tool_sources}
     ${CMAKE_SOURCE_DIR}/decode/write_failure_report_posix.cpp
     ${CMAKE_SOURCE_DIR}/frontend/title_drawing_win32.cpp)

add_executable(lmvpack_windows ${lmvpack_windows_sources})
set_target_properties(lmvpack_windows PROPERTIES OUTPUT_NAME lmvpack
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(lmvpack_windows PRIVATE ${CMAKE_SOURCE_DIR})
target_include_directories(lmvpack_windows SYSTEM PRIVATE ${lmvpack_host_headers})
target_compile_options(lmvpack_windows PRIVATE ${LMV_WARNINGS} -fexceptions)
# Windows XP is the oldest system the tool's runtime calls need.
target_compile_definitions(lmvpack_windows PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX
                           _WIN32_WINNT=0x0501 WINVER=0x0501 LMV_VERSION="${PROJECT_VERSION}")
target_link_options(lmvpack_windows PRIVATE -static -s -mconsole -Wl,--no-insert-timestamp)
target_link_libraries(lmvpack_windows PRIVATE gdi32 user32)

# A Windows author's copy is one folder: the tool finds the stub beside itself.
install(TARGETS lmvpack_windows RUNTIME DESTINATION bin)
install(FILES $<TARGET_FILE:lmvstub> $<TARGET_FILE:lmvuninst>
        ${CMAKE_SOURCE_DIR}/tools/lmvpack/data/nodata.dat DESTINATION bin)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION bin/docs)
