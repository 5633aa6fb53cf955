# Installs Kalvo from its build tree into a scratch prefix, then builds and
# runs a small consumer against that copy twice: with find_package(Kalvo)
# and with pkg-config. Run by CTest as `cmake -P`.
foreach(var KALVO_BINARY_DIR KALVO_CONSUMER_DIR KALVO_SCRATCH_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(prefix ${KALVO_SCRATCH_DIR}/prefix)
file(REMOVE_RECURSE ${KALVO_SCRATCH_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(JOIN " " cmd ${ARGN})
    message(FATAL_ERROR "failed (${rc}): ${cmd}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${KALVO_BINARY_DIR} --prefix ${prefix})

# find_package(Kalvo) with Kalvo::kalvo
run(${CMAKE_COMMAND} -S ${KALVO_CONSUMER_DIR} -B ${KALVO_SCRATCH_DIR}/cmake-build -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${KALVO_SCRATCH_DIR}/cmake-build)
run(${KALVO_SCRATCH_DIR}/cmake-build/kalvo-consumer)
message(STATUS "find_package consumer: ${last_output}")

# pkg-config kalvo
file(GLOB_RECURSE pc_files ${prefix}/*/kalvo.pc)
list(LENGTH pc_files pc_count)
if(NOT pc_count EQUAL 1)
  message(FATAL_ERROR "expected one installed kalvo.pc, found: ${pc_files}")
endif()
get_filename_component(pc_dir ${pc_files} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs kalvo)
string(STRIP "${last_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(g++ -std=c++20 -fPIC ${KALVO_CONSUMER_DIR}/main.cpp -o ${KALVO_SCRATCH_DIR}/pkgconfig-consumer ${flags})
file(GLOB_RECURSE libs ${prefix}/*/libkalvo.so)
list(GET libs 0 lib)
get_filename_component(lib_dir ${lib} DIRECTORY)
set(ENV{LD_LIBRARY_PATH} ${lib_dir})
run(${KALVO_SCRATCH_DIR}/pkgconfig-consumer)
message(STATUS "pkg-config consumer: ${last_output}")
