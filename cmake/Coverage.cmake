# GLYPHMILL_COVERAGE: every target built with gcc's --coverage at -O0, and a
# coverage_report target that gcovr runs once the tests have run. It prints
# the product code's totals ("lines: NN.N%" and "branches: NN.N%"), writes the
# uncovered lines per file to coverage.txt in the build folder, fails below
# 95% of lines or 90% of branches, and deletes the
# counters, so that the next run of the tests starts from zero. The product
# code is cmdline/, convert/, stream/, platform/ and tool/; the Win32 host file
# only runs on Windows and is left out. coverage_reset deletes the counters
# too, so that objects rebuilt since the last run meet no stale ones. The
# workflow preset "coverage" runs configure, coverage_reset, build, test and
# coverage_report in that order.
option(GLYPHMILL_COVERAGE "Build with gcc --coverage and add the coverage_report target" OFF)
if(GLYPHMILL_COVERAGE)
  add_compile_options(--coverage -O0)
  add_link_options(--coverage)
  find_program(GLYPHMILL_GCOVR gcovr REQUIRED)
  add_custom_target(coverage_reset
    COMMAND find ${PROJECT_BINARY_DIR} -name *.gcda -delete
    COMMENT "Deleting the coverage counters"
    VERBATIM)
  set(root ${PROJECT_SOURCE_DIR})
  add_custom_target(coverage_report
    COMMAND ${GLYPHMILL_GCOVR} --root ${root} --object-directory ${PROJECT_BINARY_DIR}
            --filter ${root}/cmdline/ --filter ${root}/convert/ --filter ${root}/stream/
            --filter ${root}/platform/ --filter ${root}/tool/ --exclude ${root}/platform/platform_win32.cpp
            --exclude-throw-branches --exclude-unreachable-branches
            --txt ${PROJECT_BINARY_DIR}/coverage.txt --print-summary --delete
            --fail-under-line 95 --fail-under-branch 90
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Coverage of the product code (details in ${PROJECT_BINARY_DIR}/coverage.txt)"
    VERBATIM)
endif()
