# Builds the sanitized protocol project with clang, runs its unit test, then
# each fuzz target for SECONDS seconds on a scratch copy of the seeds.
# -D SOURCE=<this folder> -D BINARY=<scratch build folder> -D SECONDS=<n>
set(env_seconds $ENV{MORVANE_FUZZ_SECONDS})
if(env_seconds)
  set(SECONDS ${env_seconds})
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

run(${CMAKE_COMMAND} -S ${SOURCE}/sanitized -B ${BINARY}
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug)
run(${CMAKE_COMMAND} --build ${BINARY} -j2)

set(ENV{ASAN_OPTIONS} "detect_leaks=1:abort_on_error=1")
set(ENV{UBSAN_OPTIONS} "print_stacktrace=1:halt_on_error=1")
run(${BINARY}/tst_coreprotocol_sanitized)

foreach(kind reply request)
  set(work ${BINARY}/corpus-${kind})
  file(REMOVE_RECURSE ${work})
  file(COPY ${SOURCE}/corpus/${kind}/ DESTINATION ${work})
  run(${BINARY}/fuzz_${kind}reader -max_total_time=${SECONDS} -max_len=4096 -timeout=10
      -rss_limit_mb=1024 -print_final_stats=1 ${work})
endforeach()
