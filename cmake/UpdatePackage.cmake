# An update as it ships: Atualizador.exe and the db.xdb it installs, side by
# side at the top of one ZIP, with SHA256SUMS for the two. scripts/release.sh
# sets ATUALIZADOR_UPDATE_DB, installs into a staging folder, zips that with
# fixed entries (a ZIP made by CPack carries the staged files' times) and
# checks the result.

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

