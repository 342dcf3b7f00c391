file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

function(run_step what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
    endif()
endfunction()

run_step("install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
run_step("configure consumer" ${CMAKE_COMMAND} -S "${CONSUMER_DIR}" -B "${WORK_DIR}/build"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}")
run_step("build consumer" ${CMAKE_COMMAND} --build "${WORK_DIR}/build")

# The installed libraries carry no build-tree run path, so point the loader at them.
file(GLOB libdirs LIST_DIRECTORIES true "${prefix}/lib*")
string(REPLACE ";" ":" libpath "${libdirs}")
run_step("run consumer" ${CMAKE_COMMAND} -E env "LD_LIBRARY_PATH=${libpath}" QT_QPA_PLATFORM=offscreen
    "${WORK_DIR}/build/consumer")
