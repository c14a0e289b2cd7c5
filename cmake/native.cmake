# The Linux build: portable core, authoring tool, tests, fuzzers, benchmarks.
set(core_sources ${installer_sources})
list(FILTER core_sources EXCLUDE REGEX "_win32\\.cpp$")
# The two Win32 services that only a running installer has, its own file and the global heap:
# each program that hosts the core brings its stand-ins. lmvpack and the benchmarks link the
# product's; the tests (with the rest of tests/unit/) and the fuzzers their own, which they can
# steer (tests/unit/support/file_api_test_hooks.h), so that no test seam ships.
set(LMV_HOST_STAND_INS ${CMAKE_SOURCE_DIR}/platform/win32_stand_ins_host.cpp)
list(REMOVE_ITEM core_sources ${LMV_HOST_STAND_INS})
set(LMV_TEST_STAND_INS ${CMAKE_SOURCE_DIR}/tests/unit/support/file_api_test_hooks.cpp)

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

add_subdirectory(tools/lmvpack)
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
