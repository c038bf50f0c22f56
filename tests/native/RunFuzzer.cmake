# Runs a fuzz target for a fixed number of inputs (RUNS, each at most MAX_LEN
# bytes) over a seed corpus (the files the globs in SEEDS match, up to
# MAX_LEN); any finding fails the test.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/seeds ${WORK}/findings)
file(GLOB seeds ${SEEDS})
foreach(seed ${seeds})
  file(SIZE ${seed} size)
  if(NOT size GREATER MAX_LEN)
    file(COPY ${seed} DESTINATION ${WORK}/seeds)
  endif()
endforeach()
execute_process(
  COMMAND ${FUZZER} -runs=${RUNS} -seed=1 -max_len=${MAX_LEN} -timeout=20 -rss_limit_mb=2048
          -artifact_prefix=${WORK}/findings/ ${WORK}/seeds
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the fuzz target found a fault (exit ${result}); see ${WORK}/findings")
endif()
