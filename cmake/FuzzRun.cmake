# Builds a sanitized clang project, runs its unit tests, then each fuzz
# target on a scratch copy of its seeds.
#   -D PROJECT=<project folder>  -D BINARY=<scratch build folder>
#   -D SECONDS=<n>  (MORVANE_FUZZ_SECONDS in the environment wins)
#   -D SHARE=ON     the targets share SECONDS instead of taking it each
#   -D TESTS=<unit test>,...     -D TARGETS=<target>=<seed folder>,...
#   -D RSS_MB=<n>   libFuzzer's memory limit (default 1024)
#   -D LEAKS=<file> LeakSanitizer suppressions, for libraries outside our code
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

run(${CMAKE_COMMAND} -S ${PROJECT} -B ${BINARY}
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug)
run(${CMAKE_COMMAND} --build ${BINARY} -j2)

set(ENV{ASAN_OPTIONS} "detect_leaks=1:abort_on_error=1")
set(ENV{UBSAN_OPTIONS} "print_stacktrace=1:halt_on_error=1")
if(LEAKS)
  set(ENV{LSAN_OPTIONS} "suppressions=${LEAKS}")
endif()
string(REPLACE "," ";" tests "${TESTS}")
foreach(test IN LISTS tests)
  run(${BINARY}/${test})
endforeach()

if(NOT RSS_MB)
  set(RSS_MB 1024)
endif()
string(REPLACE "," ";" targets "${TARGETS}")
list(LENGTH targets count)
set(each ${SECONDS})
if(SHARE AND count GREATER 1)
  math(EXPR each "(${SECONDS} + ${count} - 1) / ${count}")
endif()
foreach(entry IN LISTS targets)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 target)
  list(GET parts 1 seeds)
  set(work ${BINARY}/corpus-${target})
  file(REMOVE_RECURSE ${work})
  file(COPY ${seeds}/ DESTINATION ${work})
  run(${BINARY}/${target} -max_total_time=${each} -max_len=4096 -timeout=10
      -rss_limit_mb=${RSS_MB} -print_final_stats=1 ${work})
endforeach()
