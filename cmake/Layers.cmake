# Helpers that keep each folder's CMakeLists.txt to a line or two.
# Sources are globbed (CONFIGURE_DEPENDS), so adding a file needs no CMake edit.

# vm_add_layer(<name> [SHARED] [DEPS <targets...>])
# A library made of every .cpp in the calling folder: static, or shared with SHARED.
function(vm_add_layer name)
  cmake_parse_arguments(ARG "SHARED" "" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB _hdr CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(ARG_SHARED)
    add_library(${name} SHARED ${_src} ${_hdr})
  else()
    add_library(${name} STATIC ${_src} ${_hdr})
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# vm_add_tests(<name> [DEPS <targets...>] [LABELS <labels...>])
# One GoogleTest executable of every .cpp in the calling folder; each test
# case is registered with CTest.
function(vm_add_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${_src})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE VM_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  include(GoogleTest)
  if(ARG_LABELS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# vm_add_bench(<file.cpp> DEPS <targets...>)
# One benchmark executable per source file, named after the file.
function(vm_add_bench file)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  get_filename_component(_name ${file} NAME_WE)
  add_executable(${_name} ${file})
  target_link_libraries(${_name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${_name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# vm_add_fuzzer(<file.cpp> DEPS <targets...>)
# One libFuzzer executable per source file; its seed corpus is fuzz/corpus/<name>/.
function(vm_add_fuzzer file)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  get_filename_component(_name ${file} NAME_WE)
  add_executable(${_name} ${file})
  target_link_libraries(${_name} PRIVATE ${ARG_DEPS})
  target_include_directories(${_name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_options(${_name} PRIVATE -fsanitize=fuzzer)
endfunction()
