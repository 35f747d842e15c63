# Run by CPack on the staged files before it makes a package. A Debian package also carries its
# copyright and changelog under /usr/share/doc, and its manual pages compressed; the other
# packages and `cmake --install` keep the plain files.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")

file(READ "${CPACK_RESOURCE_FILE_LICENSE}" license)
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" license "${license}")
file(WRITE "${doc}/copyright"
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: ${CPACK_PACKAGE_NAME}\n\n"
    "Files: *\n"
    "Copyright: 2026 the zx8xwav authors\n"
    "License: Expat\n ${license}")

file(WRITE "${doc}/changelog"
    "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
    "  * Release ${CPACK_PACKAGE_VERSION}; the README lists the changes.\n\n"
    " -- ${CPACK_PACKAGE_CONTACT}  Tue, 08 Dec 2026 00:00:00 +0000\n")

# -n leaves out the time stamp, so the same files make the same package.
file(GLOB pages "${root}/share/man/man*/*.[1-9]")
foreach(file "${doc}/changelog" ${pages})
    execute_process(COMMAND gzip -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
