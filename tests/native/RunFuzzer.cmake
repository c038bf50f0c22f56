# Runs the fuzz target for a fixed number of inputs over a seed corpus of small
# real images; any finding fails the test.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/seeds ${WORK}/findings)
file(GLOB seeds ${FIXTURES}/*.exe ${FIXTURES}/*.dll)
foreach(seed ${seeds})
  file(SIZE ${seed} size)
  if(size LESS 400000)
    file(COPY ${seed} DESTINATION ${WORK}/seeds)
  endif()
endforeach()
execute_process(
  COMMAND ${FUZZER} -runs=20000 -seed=1 -max_len=400000 -timeout=20 -rss_limit_mb=2048
          -artifact_prefix=${WORK}/findings/ ${WORK}/seeds
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the fuzz target found a fault (exit ${result}); see ${WORK}/findings")
endif()
