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
# Lets a tool run from the build tree find the stub built beside it (build/win32/lmvstub.exe).
target_compile_definitions(lmvpack_lib PRIVATE LMV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
if(CAIRO_FOUND)
  target_link_libraries(lmvpack_lib PUBLIC PkgConfig::CAIRO)
  target_compile_definitions(lmvpack_lib PUBLIC LMV_HAVE_CAIRO=1)
endif()

add_executable(lmvpack ${CMAKE_SOURCE_DIR}/tools/lmvpack/main.cpp)
target_compile_options(lmvpack PRIVATE ${LMV_WARNINGS})
target_link_libraries(lmvpack PRIVATE lmvpack_lib)
target_compile_definitions(lmvpack PRIVATE LMV_VERSION="${PROJECT_VERSION}")
set_target_properties(lmvpack PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
install(TARGETS lmvpack RUNTIME DESTINATION bin)
# The stub is cross-built by the win32 preset; installed beside the tool's data when present.
install(FILES ${CMAKE_SOURCE_DIR}/build/win32/lmvstub.exe ${CMAKE_SOURCE_DIR}/build/win32/lmvuninst.exe
        ${CMAKE_SOURCE_DIR}/build/win32/gui_driver.exe DESTINATION share/lmvpack OPTIONAL)
install(FILES ${CMAKE_SOURCE_DIR}/tools/lmvpack/data/nodata.dat DESTINATION share/lmvpack)

enable_testing()
if(LMV_FUZZ)
  add_subdirectory(tests/fuzz)
else()
  add_subdirectory(tests)
  if(NOT LMV_SANITIZE)
    add_subdirectory(bench)
  endif()
endif()
