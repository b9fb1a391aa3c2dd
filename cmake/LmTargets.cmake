# Target helpers. An area is one static library built from the .cpp files of its folders;
# files named *Test.cpp beside them form the area's GoogleTest executable, run under Wine.
include(GoogleTest)

function(lm_glob_sources out)
    set(result "")
    foreach(dir IN LISTS ARGN)
        file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.rc)
        list(FILTER found EXCLUDE REGEX "Test\\.cpp$")
        list(APPEND result ${found})
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()

function(lm_glob_tests out)
    set(result "")
    foreach(dir IN LISTS ARGN)
        file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*Test.cpp)
        list(APPEND result ${found})
    endforeach()
    set(${out} ${result} PARENT_SCOPE)
endfunction()

# lm_test_executable(<name> SOURCES ... LIBS ... [DEPENDS targets...] [PROPERTIES name value...])
# One GoogleTest executable in build/tests, its cases discovered and run by CTest under Wine.
# PROPERTIES are set on every discovered case (e.g. FIXTURES_REQUIRED LmTestServer).
function(lm_test_executable name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEPENDS;PROPERTIES" ${ARGN})
    if(NOT T_SOURCES)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} LmTestSupport GTest::gmock)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${LM_TEST_OUTPUT_DIRECTORY})
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 180
        WORKING_DIRECTORY ${LM_TEST_OUTPUT_DIRECTORY}
        PROPERTIES TIMEOUT 180 ${T_PROPERTIES})
endfunction()

# lm_library(<target> DIRS <folders...> [LIBS <libraries...>] [TEST_LIBS ...] [TEST_DEPENDS ...]
#            [TEST_PROPERTIES ...])
function(lm_library name)
    cmake_parse_arguments(L "" "" "DIRS;LIBS;TEST_LIBS;TEST_DEPENDS;TEST_PROPERTIES" ${ARGN})
    lm_glob_sources(sources ${L_DIRS})
    if(NOT sources)
        return()
    endif()
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${L_LIBS})
    lm_glob_tests(tests ${L_DIRS})
    lm_test_executable(${name}Tests SOURCES ${tests} LIBS ${name} ${L_TEST_LIBS} DEPENDS ${L_TEST_DEPENDS}
                       PROPERTIES ${L_TEST_PROPERTIES})
endfunction()

# lm_program(<target> OUTPUT_NAME <file name> DIR <folder> [WINDOWS] [LIBS ...] [TEST_LIBS ...] [TEST_DEPENDS ...]
#            [TEST_PROPERTIES ...])
# A program lands in build/bin as <file name>.exe. Its entry point lives in <folder>/WinMain.cpp;
# the folder's other sources form <target>Core, which the program and its tests both link.
# Its tests run the built program itself as well.
function(lm_program name)
    cmake_parse_arguments(P "WINDOWS" "OUTPUT_NAME;DIR" "LIBS;TEST_LIBS;TEST_DEPENDS;TEST_PROPERTIES" ${ARGN})
    lm_glob_sources(sources ${P_DIR})
    set(entry ${CMAKE_SOURCE_DIR}/${P_DIR}/WinMain.cpp)
    list(REMOVE_ITEM sources ${entry})
    set(rc ${sources})
    list(FILTER rc INCLUDE REGEX "\\.rc$")
    list(FILTER sources EXCLUDE REGEX "\\.rc$")
    set(core_lib "")
    if(sources)
        add_library(${name}Core STATIC ${sources})
        target_link_libraries(${name}Core PUBLIC ${P_LIBS})
        set(core_lib ${name}Core)
    endif()
    add_executable(${name} ${entry} ${rc})
    target_link_libraries(${name} PRIVATE ${core_lib} ${P_LIBS})
    if(P_WINDOWS)
        target_link_options(${name} PRIVATE -mwindows)
    endif()
    if(P_OUTPUT_NAME)
        set_target_properties(${name} PROPERTIES OUTPUT_NAME ${P_OUTPUT_NAME})
    endif()
    lm_glob_tests(tests ${P_DIR})
    lm_test_executable(${name}Tests SOURCES ${tests} LIBS ${core_lib} ${P_TEST_LIBS} DEPENDS ${name} ${P_TEST_DEPENDS}
                       PROPERTIES ${P_TEST_PROPERTIES})
endfunction()

# lm_tests_resource_lock(<test executable> <regex> <lock>)
# The executable's discovered cases whose names match the regex hold the CTest resource lock, so
# cases that write the same machine-wide keys run one at a time while the others go on in parallel.
function(lm_tests_resource_lock exe regex lock)
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${exe}-${lock}.cmake)
    file(WRITE ${file}
        "foreach(test IN LISTS ${exe}_TESTS)\n"
        "    if(test MATCHES [==[${regex}]==])\n"
        "        set_tests_properties(\"\${test}\" PROPERTIES RESOURCE_LOCK ${lock})\n"
        "    endif()\n"
        "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# lm_tests_test_environment(<test executable> <regex>)
# The executable's discovered cases whose names match the regex run with the test environment on
# (the fixtures LmTestServer and LmUpdaterEnvironment of Updater/CMakeLists.txt, which become the
# cases' only required fixtures), so that the product's bounds they shorten through Debugging
# values (LmTest::ScopedTestBound) count.
function(lm_tests_test_environment exe regex)
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${exe}-TestEnvironment.cmake)
    file(WRITE ${file}
        "foreach(test IN LISTS ${exe}_TESTS)\n"
        "    if(test MATCHES [==[${regex}]==])\n"
        "        set_tests_properties(\"\${test}\" PROPERTIES FIXTURES_REQUIRED \"LmTestServer;LmUpdaterEnvironment\")\n"
        "    endif()\n"
        "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()
