# Refuses a program that imports, at link time, a library that is not a known DLL of Windows:
# Windows looks for such a library in the program's folder first, and a copy planted there would
# run before the program's first line. Known DLLs are mapped from the system's own copies, also
# the libraries they import. Delay-loaded libraries are loaded from the system folder by the
# programs themselves (cmake/LmDelayLoad.cmake).
#   cmake -DOBJDUMP=<objdump> -DPROGRAMS=<file>[;<file>...] -P LmCheckImports.cmake
# Run after each link of a program, it fails the link step (the build then deletes the program).
cmake_minimum_required(VERSION 3.25)

set(known_dlls advapi32 combase comdlg32 gdi32 imagehlp imm32 kernel32 msvcrt normaliz nsi ole32
    oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 ws2_32 ntdll)

set(refused "")
foreach(program IN LISTS PROGRAMS)
    execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} could not read ${program}")
    endif()
    # The import tables only: the delay-import tables, when objdump shows any, come after them.
    string(FIND "${dump}" "The Import Tables" start)
    if(start EQUAL -1)
        continue()
    endif()
    string(SUBSTRING "${dump}" ${start} -1 dump)
    string(FIND "${dump}" "Delay Import" end)
    if(NOT end EQUAL -1)
        string(SUBSTRING "${dump}" 0 ${end} dump)
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" names "${dump}")
    set(foreign "")
    foreach(entry IN LISTS names)
        string(REGEX REPLACE "^DLL Name: " "" dll "${entry}")
        string(STRIP "${dll}" dll)
        string(TOLOWER "${dll}" base)
        string(REGEX REPLACE "\\.dll$" "" base "${base}")
        if(NOT base IN_LIST known_dlls)
            list(APPEND foreign ${dll})
        endif()
    endforeach()
    if(foreign)
        list(JOIN foreign ", " foreign)
        string(APPEND refused "\n  ${program}: ${foreign}")
    endif()
endforeach()
if(refused)
    message(FATAL_ERROR "These programs import libraries that are not known DLLs (a copy beside the "
        "program would be loaded in their place); link LmDelayLoad::<name> instead:${refused}")
endif()
