# cmake -DLM_TESTS_INCLUDE=<file> -P tools/discover-tests.cmake
# Runs the test discovery of one GoogleTest executable (its <name>[1]_include.cmake, which
# gtest_discover_tests writes for DISCOVERY_MODE PRE_TEST) outside CTest, when the list of its
# cases is missing or older than the executable. CTest reads the list then and discovers nothing
# itself (tools/discover-tests.sh runs this for every executable side by side). Nothing is
# defined here: the commands that define tests do nothing in this script.
# GoogleTestAddTests.cmake runs a discovery of its own when it sees a script run.
unset(CMAKE_SCRIPT_MODE_FILE)
function(add_test)
endfunction()
function(set_tests_properties)
endfunction()
include("${LM_TESTS_INCLUDE}")
