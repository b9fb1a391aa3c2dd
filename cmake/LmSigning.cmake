# Test signatures. Throwaway code-signing certificates are made in the build tree with openssl
# (self-signed, extended key usage codeSigning, one per organisation name; never committed), and
# copies of built programs are signed with them by osslsigncode, so tests can run the code-signature
# test against real Authenticode signatures under the maker's names and under foreign ones.
#
#   lm_signed_copy(<target> SOURCE_TARGET <exe target> ORGANISATION "<O>" OUTPUT <path> [STRIP])
#       <target> builds <path>: a copy of <exe target> signed by a certificate whose subject
#       organisation is <O> (with STRIP: without debugging information and symbols). Make your test
#       executable depend on <target>.
#   lm_signing_certificate(<prefix> ORGANISATION "<O>")
#       sets <prefix>_TARGET, <prefix>_KEY and <prefix>_CERTIFICATE (PEM files in the build tree).
find_program(LM_OPENSSL openssl REQUIRED)
find_program(LM_OSSLSIGNCODE osslsigncode REQUIRED)
set(LM_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)

function(lm_signing_certificate prefix)
    cmake_parse_arguments(C "" "ORGANISATION" "" ${ARGN})
    if(NOT C_ORGANISATION)
        message(FATAL_ERROR "lm_signing_certificate: ORGANISATION is required")
    endif()
    string(MD5 hash "${C_ORGANISATION}")
    string(SUBSTRING ${hash} 0 12 id)
    set(key ${LM_SIGNING_DIR}/${id}.key.pem)
    set(certificate ${LM_SIGNING_DIR}/${id}.cert.pem)
    set(target LmSigningCertificate_${id})
    if(NOT TARGET ${target})
        # openssl's -subj separates attributes with '/': escape one inside the name.
        string(REPLACE "/" "\\/" subject_organisation "${C_ORGANISATION}")
        add_custom_command(OUTPUT ${key} ${certificate}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${LM_SIGNING_DIR}
            COMMAND ${LM_OPENSSL} genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out ${key}
            COMMAND ${LM_OPENSSL} req -new -x509 -key ${key} -sha256 -days 3650 -out ${certificate}
                    -subj "/O=${subject_organisation}/CN=${subject_organisation} test code signing"
                    -addext "extendedKeyUsage=codeSigning"
                    -addext "keyUsage=critical,digitalSignature"
            COMMENT "Test code-signing certificate for \"${C_ORGANISATION}\""
            VERBATIM)
        add_custom_target(${target} DEPENDS ${key} ${certificate})
    endif()
    set(${prefix}_TARGET ${target} PARENT_SCOPE)
    set(${prefix}_KEY ${key} PARENT_SCOPE)
    set(${prefix}_CERTIFICATE ${certificate} PARENT_SCOPE)
endfunction()

function(lm_signed_copy name)
    cmake_parse_arguments(S "STRIP" "SOURCE_TARGET;ORGANISATION;OUTPUT" "" ${ARGN})
    if(NOT S_SOURCE_TARGET OR NOT S_ORGANISATION OR NOT S_OUTPUT)
        message(FATAL_ERROR "lm_signed_copy: SOURCE_TARGET, ORGANISATION and OUTPUT are required")
    endif()
    lm_signing_certificate(cert ORGANISATION "${S_ORGANISATION}")
    get_filename_component(out_dir ${S_OUTPUT} DIRECTORY)
    # STRIP: the copy is signed without debugging information and symbols (programs that others carry).
    set(input $<TARGET_FILE:${S_SOURCE_TARGET}>)
    set(strip_commands "")
    if(S_STRIP)
        set(input ${S_OUTPUT}.stripped)
        set(strip_commands COMMAND ${CMAKE_STRIP} --strip-all -o ${input} $<TARGET_FILE:${S_SOURCE_TARGET}>)
    endif()
    add_custom_command(OUTPUT ${S_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
        COMMAND ${CMAKE_COMMAND} -E rm -f ${S_OUTPUT}
        ${strip_commands}
        COMMAND ${LM_OSSLSIGNCODE} sign -certs ${cert_CERTIFICATE} -key ${cert_KEY} -h sha256
                -n "Larchmeadow test signature" -in ${input} -out ${S_OUTPUT}
        COMMAND ${CMAKE_COMMAND} -E rm -f ${S_OUTPUT}.stripped
        DEPENDS ${S_SOURCE_TARGET} ${cert_CERTIFICATE} ${cert_KEY}
        COMMENT "Signing a copy of ${S_SOURCE_TARGET} as \"${S_ORGANISATION}\""
        VERBATIM)
    add_custom_target(${name} DEPENDS ${S_OUTPUT})
    add_dependencies(${name} ${cert_TARGET})
endfunction()

# lm_multi_signed_copy(<target> SOURCE_TARGET <exe target> ORGANISATIONS "<O1>" "<O2>" ... OUTPUT <path>)
#   <path>: a copy of <exe target> whose one embedded signature holds one signer per organisation,
#   in the order given (osslsigncode signs with one signer only; cmake/LmMergeSignatures.py merges
#   the signer records and embeds them).
find_program(LM_PYTHON python3 REQUIRED)
function(lm_multi_signed_copy name)
    cmake_parse_arguments(S "" "SOURCE_TARGET;OUTPUT" "ORGANISATIONS" ${ARGN})
    if(NOT S_SOURCE_TARGET OR NOT S_ORGANISATIONS OR NOT S_OUTPUT)
        message(FATAL_ERROR "lm_multi_signed_copy: SOURCE_TARGET, ORGANISATIONS and OUTPUT are required")
    endif()
    get_filename_component(out_dir ${S_OUTPUT} DIRECTORY)
    string(MD5 id "${S_OUTPUT}")
    set(work ${LM_SIGNING_DIR}/parts-${id})
    set(commands COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir} ${work})
    set(parts "")
    set(depends ${S_SOURCE_TARGET})
    set(cert_targets "")
    set(index 0)
    foreach(organisation IN LISTS S_ORGANISATIONS)
        lm_signing_certificate(cert ORGANISATION "${organisation}")
        set(part ${work}/signer${index})
        list(APPEND commands
            COMMAND ${CMAKE_COMMAND} -E rm -f ${part}.exe ${part}.der
            COMMAND ${LM_OSSLSIGNCODE} sign -certs ${cert_CERTIFICATE} -key ${cert_KEY} -h sha256
                    -n "Larchmeadow test signature" -in $<TARGET_FILE:${S_SOURCE_TARGET}> -out ${part}.exe
            COMMAND ${LM_OSSLSIGNCODE} extract-signature -in ${part}.exe -out ${part}.der)
        list(APPEND parts ${part}.der)
        list(APPEND depends ${cert_CERTIFICATE} ${cert_KEY})
        list(APPEND cert_targets ${cert_TARGET})
        math(EXPR index "${index} + 1")
    endforeach()
    add_custom_command(OUTPUT ${S_OUTPUT}
        ${commands}
        COMMAND ${LM_PYTHON} ${CMAKE_SOURCE_DIR}/cmake/LmMergeSignatures.py ${work}/signer0.exe ${S_OUTPUT} ${parts}
        DEPENDS ${depends} ${CMAKE_SOURCE_DIR}/cmake/LmMergeSignatures.py
        COMMENT "Signing a copy of ${S_SOURCE_TARGET} by ${index} signers"
        VERBATIM)
    add_custom_target(${name} DEPENDS ${S_OUTPUT})
    list(REMOVE_DUPLICATES cert_targets)
    add_dependencies(${name} ${cert_targets})
endfunction()
