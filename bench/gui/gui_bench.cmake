# The GUI benchmarks (bench/gui/*_bench.cpp): one executable over the whole GUI and the GUI
# tests' support (scripted prompts, temporary folders, the shared icon files), run offscreen.
# Include this from bench/CMakeLists.txt, or give it as CMAKE_PROJECT_INCLUDE: it then waits for
# the end of the top directory, where the test support targets exist.
function(pq_add_gui_bench)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/gui/*_bench.cpp)
  if(sources AND TARGET pq_gui_test_support AND TARGET benchmark::benchmark AND NOT TARGET pixquil_gui_bench)
    add_executable(pixquil_gui_bench ${sources})
    target_link_libraries(pixquil_gui_bench PRIVATE pq_gui_test_support benchmark::benchmark)
  endif()
endfunction()

if(CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL pq_add_gui_bench)
else()
  pq_add_gui_bench()
endif()
