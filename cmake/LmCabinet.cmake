# Cabinets made at build time with gcab (MSZIP, the one compression that every Windows unpacks
# through cabinet.dll).
#
#   lm_cabinet(<target> OUTPUT <cab> FILES <file>... [DEPENDS <targets or files>...])
#       <target> builds <cab>, which holds the files under their names without folders.
find_program(LM_GCAB gcab REQUIRED)

function(lm_cabinet name)
    cmake_parse_arguments(C "" "OUTPUT" "FILES;DEPENDS" ${ARGN})
    if(NOT C_OUTPUT OR NOT C_FILES)
        message(FATAL_ERROR "lm_cabinet: OUTPUT and FILES are required")
    endif()
    get_filename_component(out_dir ${C_OUTPUT} DIRECTORY)
    add_custom_command(OUTPUT ${C_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
        COMMAND ${CMAKE_COMMAND} -E rm -f ${C_OUTPUT}
        COMMAND ${LM_GCAB} --create --zip --nopath ${C_OUTPUT} ${C_FILES}
        DEPENDS ${C_FILES} ${C_DEPENDS}
        COMMENT "Packing ${C_OUTPUT}"
        VERBATIM)
    add_custom_target(${name} DEPENDS ${C_OUTPUT})
endfunction()
