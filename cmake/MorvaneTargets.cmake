# Shared switches for our own targets: strict Qt defines and warnings as errors.
# Third-party headers come in through imported targets and so stay SYSTEM.

add_library(morvane_options INTERFACE)
target_compile_definitions(morvane_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_BEFORE=0x060400)
target_compile_options(morvane_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Werror)

# Tests may write plain string literals; the rest of the strictness stays.
add_library(morvane_test_options INTERFACE)
target_compile_definitions(morvane_test_options INTERFACE
  QT_NO_URL_CAST_FROM_STRING QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_NO_FOREACH)
target_compile_options(morvane_test_options INTERFACE -Wall -Wextra -Werror)

# MORVANE_SANITIZE goes on both option sets, compile and link, so every
# object and program of ours is built the same way.
string(TOLOWER "${MORVANE_SANITIZE}" morvane_sanitize)
if(morvane_sanitize STREQUAL "" OR morvane_sanitize STREQUAL "off")
  set(morvane_sanitize_flags "")
elseif(morvane_sanitize STREQUAL "address")
  set(morvane_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(morvane_sanitize STREQUAL "thread")
  set(morvane_sanitize_flags -fsanitize=thread)
else()
  message(FATAL_ERROR "MORVANE_SANITIZE must be empty, off, address or thread, not '${MORVANE_SANITIZE}'")
endif()
if(morvane_sanitize_flags)
  list(APPEND morvane_sanitize_flags -fno-omit-frame-pointer)
  foreach(options IN ITEMS morvane_options morvane_test_options)
    target_compile_options(${options} INTERFACE ${morvane_sanitize_flags})
    target_link_options(${options} INTERFACE ${morvane_sanitize_flags})
  endforeach()
  # Memory figures are the sanitizer's own then; tests that bound memory know.
  target_compile_definitions(morvane_test_options INTERFACE MORVANE_SANITIZED)
endif()

# morvane_library(name SOURCES... ) : one static library per folder.
function(morvane_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/..)
  target_link_libraries(${name} PRIVATE morvane_options)
endfunction()

# The programs that ship, side by side in one program folder (FHS: a
# package's own programs under /usr/lib/<package>). Other programs in bin/
# (the local seed) serve tests and the demo only.
set(MORVANE_SHIPPED_PROGRAMS Morvane MorvaneCore Kelvora updater)
set(MORVANE_INSTALL_BINDIR lib/morvane)

# morvane_program(name SOURCES...) : a thin executable in bin/.
function(morvane_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE morvane_options)
  if(name IN_LIST MORVANE_SHIPPED_PROGRAMS)
    install(TARGETS ${name} RUNTIME DESTINATION ${MORVANE_INSTALL_BINDIR})
  endif()
endfunction()

# morvane_test(name SOURCES... LIBS ...) : a Qt Test executable under CTest.
function(morvane_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE morvane_test_options morvane_testsupport Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(morvane_sanitize_flags)
    # Instrumented code runs several times slower.
    math(EXPR T_TIMEOUT "${T_TIMEOUT} * 3")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MORVANE_NETWORK=loopback;QTWEBENGINE_DISABLE_SANDBOX=1;MORVANE_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# morvane_translations(target name PREFIX p TS_PATTERN pattern): for each
# locale, the .ts files matching pattern (with <locale> filled in) are merged
# into <name>_<locale>.qm and embedded in target under the resource prefix p.
function(morvane_translations target name)
  cmake_parse_arguments(T "" "PREFIX;TS_PATTERN" "" ${ARGN})
  foreach(locale IN ITEMS zh_CN en_GB)
    string(REPLACE "<locale>" "${locale}" pattern "${T_TS_PATTERN}")
    file(GLOB ts_files CONFIGURE_DEPENDS ${pattern})
    set(qm ${CMAKE_CURRENT_BINARY_DIR}/${name}_${locale}.qm)
    add_custom_command(OUTPUT ${qm}
      COMMAND Qt6::lrelease -silent ${ts_files} -qm ${qm}
      DEPENDS ${ts_files}
      COMMENT "Compiling the ${name} ${locale} translations")
    set_source_files_properties(${qm} PROPERTIES QT_RESOURCE_ALIAS ${name}_${locale}.qm)
    list(APPEND qm_files ${qm})
  endforeach()
  qt_add_resources(${target} ${target}_lang PREFIX ${T_PREFIX} FILES ${qm_files})
endfunction()
