# The Linux build: portable core, authoring tool, tests, fuzzers, benchmarks.
set(core_sources ${installer_sources})
list(FILTER core_sources EXCLUDE REGEX "_win32\\.cpp$")

if(LMV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
if(LMV_FUZZ)
  # Every library the fuzzers link is instrumented for coverage and checked by the sanitizers.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(lmvcore STATIC ${core_sources})
target_include_directories(lmvcore PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(lmvcore PRIVATE ${LMV_WARNINGS})

# The uninstaller's portable rules, for the unit tests (the program itself is Windows-only).
add_library(lmvuninstcore STATIC ${uninstaller_portable_sources})
target_include_directories(lmvuninstcore PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(lmvuninstcore PRIVATE ${LMV_WARNINGS})
target_link_libraries(lmvuninstcore PUBLIC lmvcore) # FormatText

add_subdirectory(samples/aurora)

find_package(nlohmann_json REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(CAIRO IMPORTED_TARGET cairo fontconfig)

file(GLOB lmvpack_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/lmvpack/*.cpp)
list(FILTER lmvpack_sources EXCLUDE REGEX "(/main|_win32)\\.cpp$")
add_library(lmvpack_lib STATIC ${lmvpack_sources})
target_include_directories(lmvpack_lib PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(lmvpack_lib PRIVATE ${LMV_WARNINGS})
target_link_libraries(lmvpack_lib PUBLIC lmvcore nlohmann_json::nlohmann_json)
# Lets a tool run from the build tree find the stub built beside it (build/win32/lmvstub.exe);
# a released tool finds its files beside itself only.
if(LMV_SOURCE_TREE_LOOKUP)
  target_compile_definitions(lmvpack_lib PRIVATE LMV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
if(CAIRO_FOUND)
  target_link_libraries(lmvpack_lib PUBLIC PkgConfig::CAIRO)
  target_compile_definitions(lmvpack_lib PUBLIC LMV_HAVE_CAIRO=1)
endif()

add_executable(lmvpack ${CMAKE_SOURCE_DIR}/tools/lmvpack/main.cpp)
target_compile_options(lmvpack PRIVATE ${LMV_WARNINGS})
target_link_libraries(lmvpack PRIVATE lmvpack_lib)
target_compile_definitions(lmvpack PRIVATE LMV_VERSION="${PROJECT_VERSION}")
set_target_properties(lmvpack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The manual page and the bash completion are made from the built tool's own --help, so that
# neither can say anything else than the tool does.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(lmvpack_manual ${CMAKE_BINARY_DIR}/lmvpack.1)
set(lmvpack_completion ${CMAKE_BINARY_DIR}/lmvpack.bash-completion)
add_custom_command(
  OUTPUT ${lmvpack_manual} ${lmvpack_completion}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/lmvpack_help_pages.py
          --lmvpack $<TARGET_FILE:lmvpack> --manual ${lmvpack_manual}
          --completion ${lmvpack_completion}
  DEPENDS lmvpack ${CMAKE_SOURCE_DIR}/scripts/lmvpack_help_pages.py
  COMMENT "The manual page and the bash completion from lmvpack's --help")
add_custom_target(lmvpack_help_pages ALL DEPENDS ${lmvpack_manual} ${lmvpack_completion})

# The Linux packages (component linux, scripts/release.sh); the win32 build installs the
# stub, the uninstaller, the GUI driver and the sample into the same prefix.
install(TARGETS lmvpack RUNTIME DESTINATION bin COMPONENT linux)
install(FILES ${CMAKE_SOURCE_DIR}/tools/lmvpack/data/nodata.dat DESTINATION share/lmvpack
        COMPONENT linux)
install(FILES ${lmvpack_manual} DESTINATION share/man/man1 COMPONENT linux)
install(FILES ${lmvpack_completion} DESTINATION share/bash-completion/completions
        RENAME lmvpack COMPONENT linux)
lmv_install_documents(share/doc/lmvpack linux)
# A contributor's `cmake --install build/native` also takes the stub and its companions from
# the tree's win32 build, when there is one.
install(FILES ${CMAKE_SOURCE_DIR}/build/win32/lmvstub.exe ${CMAKE_SOURCE_DIR}/build/win32/lmvuninst.exe
        ${CMAKE_SOURCE_DIR}/build/win32/gui_driver.exe DESTINATION share/lmvpack OPTIONAL
        COMPONENT from_tree_win32_build)

enable_testing()
if(LMV_FUZZ)
  add_subdirectory(tests/fuzz)
elseif(LMV_BUILD_TESTS)
  add_subdirectory(tests)
  if(NOT LMV_SANITIZE)
    add_subdirectory(bench)
  endif()
endif()
