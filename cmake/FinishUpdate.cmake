# Install step that turns the installed Atualizador.exe into the one that
# ships, then writes SHA256SUMS. Given by UpdatePackage.cmake:
#   ATUALIZADOR_OBJCOPY   the mingw-w64 objcopy
#   ATUALIZADOR_SYMBOLS   where the debug information goes
#   ATUALIZADOR_SCRATCH   a folder of the build's own, for signing
# Signing is asked for through the environment, never the CMake cache, so the
# password is not kept in the build folder:
#   ATUALIZADOR_SIGN_PFX, ATUALIZADOR_SIGN_PASSWORD   the PKCS#12 file and its password
#   ATUALIZADOR_SIGN_TIMESTAMP_URL                    optional RFC 3161 time-stamping service
#
# The order matters: a signature covers the whole file, so the debuglink goes
# in first and nothing changes the program after it is signed.

set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(exe "${root}/Atualizador.exe")
if(NOT EXISTS "${exe}")
    message(FATAL_ERROR "nothing to finish: ${exe} was not installed")
endif()

function(finish_run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${what} failed (${status}):\n${output}")
    endif()
endfunction()

# The debug information is 95% of the linked program. It moves to its own
# file; the program keeps a GNU debuglink (the file's name and CRC), which is
# how gdb finds it beside the program. --strip-all rather than --strip-debug:
# the symbol table is in the debug file as well, and would be another 300 KB.
# objcopy writes the time of day into the header it copies, unless given
# SOURCE_DATE_EPOCH: 0, as the linker leaves it, for a reproducible release.
file(REMOVE "${ATUALIZADOR_SYMBOLS}")
set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 "${ATUALIZADOR_OBJCOPY}")
finish_run("Splitting off the debug information"
           ${objcopy} --only-keep-debug "${exe}" "${ATUALIZADOR_SYMBOLS}")
finish_run("Stripping the program"
           ${objcopy} --strip-all "--add-gnu-debuglink=${ATUALIZADOR_SYMBOLS}" "${exe}")
# Signing pads the program to 8 bytes and rewrites its checksum: done here
# already, a signed program with its signature removed is the unsigned one.
finish_run("Aligning the program for its signature"
           python3 "${CMAKE_CURRENT_LIST_DIR}/AlignForSignature.py" "${exe}")

set(pfx "$ENV{ATUALIZADOR_SIGN_PFX}")
if(pfx)
    if(NOT DEFINED ENV{ATUALIZADOR_SIGN_PASSWORD})
        message(FATAL_ERROR "ATUALIZADOR_SIGN_PFX is set but ATUALIZADOR_SIGN_PASSWORD is not")
    endif()
    set(timestamp "")
    if(NOT "$ENV{ATUALIZADOR_SIGN_TIMESTAMP_URL}" STREQUAL "")
        set(timestamp -ts "$ENV{ATUALIZADOR_SIGN_TIMESTAMP_URL}")
    endif()
    # osslsigncode takes the password on its command line, where anyone on
    # the machine can read it, or from a file: a file then, in a folder only
    # we can enter, for as long as signing takes.
    file(REMOVE_RECURSE "${ATUALIZADOR_SCRATCH}")
    file(MAKE_DIRECTORY "${ATUALIZADOR_SCRATCH}")
    file(CHMOD "${ATUALIZADOR_SCRATCH}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    file(WRITE "${ATUALIZADOR_SCRATCH}/password" "$ENV{ATUALIZADOR_SIGN_PASSWORD}")
    # The description is what Windows shows as the program's name when it
    # asks for administrator rights.
    execute_process(
        COMMAND osslsigncode sign -pkcs12 "${pfx}" -readpass "${ATUALIZADOR_SCRATCH}/password"
                -h sha256 -n "Atualizador do banco de dados do Varnel" ${timestamp}
                -in "${exe}" -out "${ATUALIZADOR_SCRATCH}/Atualizador.exe"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    file(REMOVE "${ATUALIZADOR_SCRATCH}/password")
    if(NOT status EQUAL 0)
        file(REMOVE_RECURSE "${ATUALIZADOR_SCRATCH}")
        message(FATAL_ERROR "Signing with ${pfx} failed (${status}):\n${output}")
    endif()
    file(COPY_FILE "${ATUALIZADOR_SCRATCH}/Atualizador.exe" "${exe}")
    file(REMOVE_RECURSE "${ATUALIZADOR_SCRATCH}")
elseif(DEFINED ENV{ATUALIZADOR_SIGN_PASSWORD})
    message(FATAL_ERROR "ATUALIZADOR_SIGN_PASSWORD is set but ATUALIZADOR_SIGN_PFX is not")
endif()

# In sha256sum's format, so that `sha256sum -c SHA256SUMS` checks an unpacked update.
set(sums "")
foreach(name Atualizador.exe db.xdb)
    if(EXISTS "${root}/${name}")
        file(SHA256 "${root}/${name}" sum)
        string(APPEND sums "${sum}  ${name}\n")
    endif()
endforeach()
file(WRITE "${root}/SHA256SUMS" "${sums}")
