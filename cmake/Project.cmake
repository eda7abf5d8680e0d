# Shared compile settings and helpers for every target of the project.

if(WIN32)
  # Fully static so the program runs with no DLL beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # Every program of the Windows tree (KRV-2400.exe, tools, tests) lands in one
  # predictable folder: build/windows/bin.
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()

if(KRV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KRV_FUZZ)
  # Coverage for libFuzzer on every library a fuzz target links, and the
  # sanitizers that turn a silent fault into a crash the fuzzer reports.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KRV_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Warnings as errors on the project's own code.
function(krv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# GoogleTest: the system package natively, built from the Debian sources in the
# Windows tree.
if(WIN32)
  if(NOT TARGET gtest)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
  endif()
  set(KRV_GTEST_LIBS gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  set(KRV_GTEST_LIBS GTest::gtest GTest::gtest_main)
  include(GoogleTest)
endif()

# krv_add_test(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [RUN_SERIAL])
# One test binary. Natively each test case becomes its own CTest entry; in the
# Windows tree the binary runs as one entry through Wine. RUN_SERIAL marks
# binaries whose cases measure wall time against a bound: they run alone, so
# that the machine's own tests cannot starve the threads they time.
function(krv_add_test name)
  cmake_parse_arguments(T "RUN_SERIAL" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${KRV_GTEST_LIBS})
  target_include_directories(${name} PRIVATE ${KRV_ROOT}/src ${KRV_ROOT}/tests)
  krv_warnings(${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wine;${T_LABELS}")
    krv_wine_test_isolation(${name})
    if("gui" IN_LIST T_LABELS AND KRV_WINE_SHARED)
      # Windows that take the foreground: one such test on the shared desktop at a time.
      set_tests_properties(${name} PROPERTIES RESOURCE_LOCK krv_desktop)
    endif()
    if(T_RUN_SERIAL)
      set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
      set_property(TEST ${name} APPEND PROPERTY LABELS realtime)
    endif()
  else()
    # gtest_discover_tests passes properties on as a flat list, so each test
    # gets one label: its own when given, "native" otherwise; "-realtime" is
    # added to it for RUN_SERIAL binaries (`ctest -LE realtime` leaves them out,
    # `-L threads` still selects app_threads_test's cases).
    set(label native)
    if(T_LABELS)
      list(GET T_LABELS 0 label)
    endif()
    set(serial "")
    if(T_RUN_SERIAL)
      set(serial RUN_SERIAL TRUE)
      set(label ${label}-realtime)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS ${label} ${serial})
  endif()
endfunction()

# Windows tests run side by side, each in a test slot of its own (a copy of
# the prepared Wine prefix with its own Wine session, display, sound device
# and temporary folder; see scripts/wine-prefix.sh), so nothing of Wine is
# shared between them. -DKRV_WINE_SHARED=ON runs them all in one prefix,
# session and display instead (KRV_WINE_SLOTS=0), with the resource locks
# that this needs: krv_program (one KRV-2400.exe at a time: a single instance
# with named events) and krv_desktop (one test that shows windows at a time).
option(KRV_WINE_SHARED "Windows tests share one Wine prefix, session and display" OFF)
function(krv_wine_test_isolation name)
  if(KRV_WINE_SHARED)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT KRV_WINE_SLOTS=0)
  endif()
endfunction()

# krv_library(name [PORTABLE] SOURCES ... LIBS ...)
function(krv_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${KRV_ROOT}/src)
  target_link_libraries(${name} PUBLIC ${L_LIBS})
  krv_warnings(${name})
endfunction()

# krv_add_e2e_test(name SCRIPT file [ARGS ...] [TIMEOUT s] [PROGRAM] [DESKTOP] [REALTIME])
# An end-to-end test script (bash, using scripts/e2e-lib.sh) in the Windows
# tree. Each runs in a test slot of its own (see krv_wine_test_isolation), so
# tests run side by side. PROGRAM marks tests that start KRV-2400.exe, and
# DESKTOP the others that show windows (e.g. the krvctl fixture): with
# KRV_WINE_SHARED they run one at a time (the program is a single instance
# with named events per Wine session, and a window that shows takes the
# foreground). REALTIME marks tests that check timing or take the sound at
# real time: they run alone, with no other test beside them (RUN_SERIAL,
# label "realtime"), so the machine's own load cannot starve the program
# they measure. The script gets its TIMEOUT (default 180 s) as
# KRV_E2E_TIMEOUT: it fails with its failure report 10 s before CTest
# would kill it.
function(krv_add_e2e_test name)
  cmake_parse_arguments(E "PROGRAM;DESKTOP;REALTIME" "SCRIPT;TIMEOUT" "ARGS" ${ARGN})
  if(NOT E_TIMEOUT)
    set(E_TIMEOUT 180)
  endif()
  add_test(NAME ${name} COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/${E_SCRIPT} ${E_ARGS})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${E_TIMEOUT}
    LABELS "e2e;wine"
    ENVIRONMENT "KRV_ROOT=${KRV_ROOT};KRV_BUILD=${CMAKE_BINARY_DIR};KRV_BIN=${CMAKE_BINARY_DIR}/bin;KRV_E2E_TIMEOUT=${E_TIMEOUT}")
  krv_wine_test_isolation(${name})
  set(locks "")
  if(E_PROGRAM)
    list(APPEND locks krv_program)
  endif()
  if(E_PROGRAM OR E_DESKTOP)
    list(APPEND locks krv_desktop)
  endif()
  if(locks AND KRV_WINE_SHARED)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
  if(E_REALTIME)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    set_property(TEST ${name} APPEND PROPERTY LABELS realtime)
  endif()
endfunction()
