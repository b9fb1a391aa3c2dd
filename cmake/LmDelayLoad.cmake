# System libraries that are not known DLLs of Windows. Windows looks for such a library in the
# program's own folder first, so a program that imported one at link time would run a copy planted
# beside it before its first line. The programs delay-load them instead: LmDelayLoad::<name> is a
# delay-import library made here from the toolchain's import library of the same name (every
# function it names), and the delay-load hook of System/Win32/SystemLibrary.cpp loads the library
# from the system folder at its first call. Link LmDelayLoad::<name> wherever <name> was linked.
# cmake/LmCheckImports.cmake refuses a program that imports anything but a known DLL.
set(LM_DELAY_LOADED_LIBRARIES cabinet comctl32 crypt32 version wininet wintrust)

# dlltool keeps a delay-import library's tables in ".idata$<n>" sections, as in an import library,
# and ld then drops the call stub of every function the code calls through its "__imp_" pointer
# (as declared with dllimport), as it drops the unused jump stubs of an import library: the
# pointer's first call would jump to address 0. The tables move to ".data$lmdl_<lib>_<n><part>"
# sections (part a for the library's head, b for a function, c for its terminating tail), which ld
# keeps in the same order: sorted by name, and in link order among equal names.
function(lm_move_delay_tables lib made output)
    set(work ${lm_delay_dir}/${lib}.members)
    file(REMOVE_RECURSE ${work})
    file(MAKE_DIRECTORY ${work})
    execute_process(COMMAND ${CMAKE_AR} t ${made} OUTPUT_VARIABLE members COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCH "[^\r\n]*_h\\.o" head "${members}")
    string(REGEX MATCH "[^\r\n]*_t\\.o" tail "${members}")
    if(NOT head OR NOT tail)
        message(FATAL_ERROR "${made} has no head or tail member")
    endif()
    execute_process(COMMAND ${CMAKE_AR} x ${made} ${head} ${tail} WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)
    foreach(part IN ITEMS a b c)
        set(renames "")
        foreach(n IN ITEMS 2 4 5 6 7)
            list(APPEND renames --rename-section ".idata$${n}=.data$lmdl_${lib}_${n}${part}")
        endforeach()
        set(renames_${part} ${renames})
    endforeach()
    execute_process(COMMAND ${CMAKE_OBJCOPY} ${renames_b} ${made} ${output}.tmp COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_OBJCOPY} ${renames_a} ${work}/${head} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_OBJCOPY} ${renames_c} ${work}/${tail} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_AR} r ${output}.tmp ${head} ${tail} WORKING_DIRECTORY ${work} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${CMAKE_AR} s ${output}.tmp COMMAND_ERROR_IS_FATAL ANY)
    file(RENAME ${output}.tmp ${output})
    file(REMOVE_RECURSE ${work})
    file(REMOVE ${made})
endfunction()

set(lm_delay_dir ${CMAKE_BINARY_DIR}/delayload)
file(MAKE_DIRECTORY ${lm_delay_dir})
foreach(lib IN LISTS LM_DELAY_LOADED_LIBRARIES)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${lib}.a
        OUTPUT_VARIABLE implib OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    if(NOT IS_ABSOLUTE "${implib}" OR NOT EXISTS "${implib}")
        message(FATAL_ERROR "The toolchain has no import library lib${lib}.a")
    endif()
    execute_process(COMMAND ${CMAKE_DLLTOOL} --identify ${implib}
        OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    set(output ${lm_delay_dir}/lib${lib}_delay.a)
    # Made again only when the toolchain's library or this file changed (a new archive would relink
    # every program).
    if(NOT EXISTS ${output} OR ${implib} IS_NEWER_THAN ${output} OR ${CMAKE_CURRENT_LIST_FILE} IS_NEWER_THAN ${output})
        # Every "__imp__<symbol>" of the import library is one export; i386 symbols carry their
        # leading underscore, which dlltool adds again, and stdcall ones their "@<bytes>", which
        # --kill-at takes off the names looked up in the DLL.
        execute_process(COMMAND ${CMAKE_NM} -g ${implib}
            OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
        string(REGEX MATCHALL "[ \t]I __imp__[^\r\n]+" exports "${symbols}")
        list(TRANSFORM exports REPLACE "^[ \t]I __imp__" "")
        list(REMOVE_DUPLICATES exports)
        list(JOIN exports "\n" exports)
        file(WRITE ${lm_delay_dir}/${lib}.def "LIBRARY \"${dll}\"\nEXPORTS\n${exports}\n")
        set(made ${lm_delay_dir}/lib${lib}_made.a)
        execute_process(COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${lib}.def --dllname ${dll}
                                --output-delaylib ${made}
            WORKING_DIRECTORY ${lm_delay_dir} COMMAND_ERROR_IS_FATAL ANY)
        lm_move_delay_tables(${lib} ${made} ${output})
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${implib})
    add_library(LmDelayLoad::${lib} STATIC IMPORTED GLOBAL)
    set_target_properties(LmDelayLoad::${lib} PROPERTIES IMPORTED_LOCATION ${output})
endforeach()
