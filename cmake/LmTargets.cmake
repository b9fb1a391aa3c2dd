# Target helpers. An area is one static library built from the .cpp files of its folders;
# files named *Test.cpp beside them form the area's GoogleTest executable, run under Wine.
include(GoogleTest)
include(${CMAKE_CURRENT_LIST_DIR}/LmDelayLoad.cmake)
set(LM_CHECK_IMPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/LmCheckImports.cmake)

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
    # Without debugging sections (symbols stay): Wine reads a program's sections whole at every
    # start, and a test executable starts once per case (several times smaller, a start faster).
    target_link_options(${name} PRIVATE -Wl,--strip-debug)
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    # A parameterised case is named by its parameter's name (or index), not its printed value.
    gtest_discover_tests(${name}
        NO_PRETTY_VALUES
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

# lm_program_start(<target>)
# Every program of the suite (windows programs with wWinMain), its test builds included: it starts
# in LmProgramStart (System/Win32/ProgramStart.cpp), which limits the library search to the system
# folder before the C runtime starts, and each link is checked to import nothing but known DLLs
# (LmCheckImports.cmake).
function(lm_program_start target)
    target_link_libraries(${target} PRIVATE LmSystem)
    target_link_options(${target} PRIVATE -Wl,--entry=_LmProgramStart)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DPROGRAMS=$<TARGET_FILE:${target}>
                -P ${LM_CHECK_IMPORTS_SCRIPT}
        VERBATIM)
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
    lm_program_start(${name})
    if(P_OUTPUT_NAME)
        set_target_properties(${name} PROPERTIES OUTPUT_NAME ${P_OUTPUT_NAME})
    endif()
    lm_glob_tests(tests ${P_DIR})
    lm_test_executable(${name}Tests SOURCES ${tests} LIBS ${core_lib} ${P_TEST_LIBS} DEPENDS ${name} ${P_TEST_DEPENDS}
                       PROPERTIES ${P_TEST_PROPERTIES})
endfunction()

# lm_tests_resource_lock(<test executable> <regex> <lock>)
# The executable's discovered cases whose names match the regex write machine-wide state (the
# lock names what they share: LarchmeadowTouchpoint, LmInstallServiceClass). That state belongs
# to one Wine prefix, so such a case holds a lane: CTest's resource "lanes" (one slot per lane,
# tools/wine-session.sh --lanes), whose prefix no other lock-holding case uses meanwhile; the
# lock-holding cases of the other lanes and all other cases go on in parallel. Given no lane
# (CTest without the lanes' resource file), the case takes its prefix's lock in
# tools/wine-run instead (LM_HOLDS_LANE).
function(lm_tests_resource_lock exe regex lock)
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${exe}-${lock}.cmake)
    file(WRITE ${file}
        "foreach(test IN LISTS ${exe}_TESTS)\n"
        "    if(test MATCHES [==[${regex}]==])\n"
        "        set_tests_properties(\"\${test}\" PROPERTIES RESOURCE_GROUPS lanes:1\n"
        "            ENVIRONMENT_MODIFICATION LM_HOLDS_LANE=set:1)\n"
        "    endif()\n"
        "endforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# lm_test_in_every_lane(<test>...)
# Tests of a Windows program that runs once in every lane's prefix (tools/wine-run): the
# fixtures that write or remove the machine's values that every lane's tests need.
function(lm_test_in_every_lane)
    set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT_MODIFICATION LM_IN_EVERY_LANE=set:1)
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
