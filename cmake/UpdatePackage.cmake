# An update as it ships: Atualizador.exe and the db.xdb it installs, side by
# side at the top of one ZIP, with SHA256SUMS for the two. CPack makes the
# ZIP from the install rules; scripts/release.sh sets ATUALIZADOR_UPDATE_DB,
# names the ZIP after the database's version and checks the result.

set(ATUALIZADOR_UPDATE_DB "" CACHE FILEPATH
    "The packed database (db.xdb) an update ships beside the program; empty: the program alone")
if(ATUALIZADOR_UPDATE_DB)
    install(FILES ${ATUALIZADOR_UPDATE_DB} DESTINATION . RENAME db.xdb)
endif()

# Runs after the rules above and those of src/app/win32: splits off the debug
# information, signs, writes the sums (see FinishUpdate.cmake).
install(CODE "
set(ATUALIZADOR_OBJCOPY [[${CMAKE_OBJCOPY}]])
set(ATUALIZADOR_SYMBOLS [[${CMAKE_BINARY_DIR}/Atualizador.exe.debug]])
set(ATUALIZADOR_SCRATCH [[${CMAKE_BINARY_DIR}/install-scratch]])
include([[${CMAKE_CURRENT_LIST_DIR}/FinishUpdate.cmake]])
")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Atualizador)
set(CPACK_PACKAGE_FILE_NAME Atualizador)
# The two files at the top, as the updater expects to find them after unzipping.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
