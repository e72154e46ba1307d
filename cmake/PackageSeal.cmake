# Writes the resource script of a release's package seal: the size and the
# SHA-256 of the db.xdb it ships, as "<size> <hex>", in RCDATA named
# PACKAGE_SEAL (read by Win32Platform::packageSeal). It is built into the
# program before it is signed, so that the signature covers it.
#   cmake -DPACKAGE=db.xdb -DOUTPUT=PackageSeal.rc -P PackageSeal.cmake
file(SIZE "${PACKAGE}" size)
file(SHA256 "${PACKAGE}" sha256)
file(WRITE "${OUTPUT}" "PACKAGE_SEAL RCDATA\n{\n    \"${size} ${sha256}\"\n}\n")
