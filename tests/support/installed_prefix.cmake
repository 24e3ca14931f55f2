# For the cmake -P scripts that build federates outside the tree: run() executes a command and
# stops the script with its output when it fails (the output of the last one is in run_output),
# and the build tree is installed afresh into ${prefix} = ${WORK_DIR}/prefix.
# Defined by the caller: BUILD_DIR, WORK_DIR.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${output}")
  endif()
  set(run_output "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
