# Shared build rules: warnings, sanitizers and the helpers every folder uses.

add_compile_options(-Wall -Wextra)
# One Asio configuration for every translation unit: objects built with and
# without it disagree on Asio's inline class layouts.
add_compile_definitions(BOOST_ASIO_NO_DEPRECATED)
if(ZOR_WERROR)
  add_compile_options(-Werror)
endif()
if(ZOR_SANITIZE)
  add_compile_options(-fsanitize=${ZOR_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZOR_SANITIZE})
  if(ZOR_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # g++ warns that the sanitizer does not see Asio's stand-alone fences;
    # the scheduler's mutex, which it does see, already orders handler hand-offs.
    add_compile_options(-Wno-tsan)
  endif()
endif()
if(ZOR_FUZZ)
  # Fuzzers run with the sanitizers of ZOR_SANITIZE (address,undefined).
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/zor_install.cmake)

# zor_library(<layer> DEPS <targets...> PRIVATE_DEPS <targets...>
#             PRIVATE_HEADERS <files...>): every .cpp of the folder becomes
# library zor_<layer>; headers are included as "<layer>/<file>.h". Layers of
# ZOR_LIBRARY_LAYERS are installed for other programs and follow
# BUILD_SHARED_LIBS (static by default); the others (the programs' own code)
# are always static. PRIVATE_HEADERS are included by the layer's .cpp files
# only and are not installed.
function(zor_library layer)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS;PRIVATE_HEADERS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(layer IN_LIST ZOR_LIBRARY_LAYERS)
    add_library(zor_${layer} ${sources})
  else()
    add_library(zor_${layer} STATIC ${sources})
  endif()
  target_include_directories(zor_${layer} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(zor_${layer} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  if(layer IN_LIST ZOR_LIBRARY_LAYERS)
    zor_install_layer(${layer} "${ARG_DEPS}" "${ARG_PRIVATE_DEPS}" "${ARG_PRIVATE_HEADERS}")
  endif()
endfunction()

# zor_tests(<name> DEPS <targets...> [LABELS <labels...>]): every *_test.cpp of
# the folder becomes one GoogleTest program; files named *_mt_test.cpp (tests
# of concurrent code) go into a second program labelled "concurrency" too, so
# the thread-sanitizer job can pick them.
function(zor_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  if(NOT ARG_LABELS)
    set(ARG_LABELS unit)
  endif()
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB mt CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_mt_test.cpp)
  set(single ${all})
  if(mt)
    list(REMOVE_ITEM single ${mt})
  endif()
  if(single)
    _zor_test_program(zor_${name}_tests "${single}" "${ARG_DEPS}" "${ARG_LABELS}")
  endif()
  if(mt)
    _zor_test_program(zor_${name}_mt_tests "${mt}" "${ARG_DEPS}" "${ARG_LABELS};concurrency")
  endif()
endfunction()

function(_zor_test_program target sources deps labels)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${deps} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${target} PRIVATE ZOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${target}.")
  # Labels are set by a script ctest reads after the discovered tests: a list
  # of labels passed through discovery loses its separators.
  set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake)
  file(WRITE ${label_script}
       "foreach(test IN LISTS ${target}_TESTS)\n"
       "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\")\n"
       "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
endfunction()

# zor_benchmark(<name> SOURCES <files...> DEPS <targets...>)
function(zor_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(bench_${name} ${ARG_SOURCES})
  target_link_libraries(bench_${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# zor_fuzzer(<name> SOURCES <files...> DEPS <targets...>): a libFuzzer program
# and a short smoke run of it as a test labelled "fuzz" (ZOR_FUZZ_SECONDS).
# The run starts from the seeds in corpus/<name>/ and uses the keywords of
# <name>.dict, both beside the target's CMakeLists.txt when present. What it
# finds goes to the build folder's corpus/<name>/, so later runs go on from there.
set(ZOR_FUZZ_SECONDS 10 CACHE STRING "Length of each fuzz smoke test")
function(zor_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPS})
  target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  set(options -max_total_time=${ZOR_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${name}.dict)
    list(APPEND options -dict=${CMAKE_CURRENT_SOURCE_DIR}/${name}.dict)
  endif()
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus/${name})
  file(MAKE_DIRECTORY ${corpus})
  if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
    list(APPEND corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  endif()
  add_test(NAME fuzz_${name} COMMAND fuzz_${name} ${options} ${corpus})
  set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz)
endfunction()

include(GoogleTest)

# Adds every direct subfolder that has a CMakeLists.txt.
macro(zor_add_subfolders)
  file(GLOB _zor_dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_zor_dir IN LISTS _zor_dirs)
    if(IS_DIRECTORY ${_zor_dir} AND EXISTS ${_zor_dir}/CMakeLists.txt)
      add_subdirectory(${_zor_dir})
    endif()
  endforeach()
endmacro()
