# Packages made by CPack from the install rules: a .deb and a .tar.gz on Linux, a .zip from the
# Windows build. `cpack --preset default` (or `windows`) writes them into the build folder.
set(CPACK_PACKAGE_NAME zx8xwav)
set(CPACK_PACKAGE_VENDOR "the zx8xwav authors")
set(CPACK_PACKAGE_CONTACT "zx8xwav authors <zx8xwav@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZX81 and ZX80 programs to and from cassette-tape audio")
# The long description, in lines short enough for a Debian control file.
set(CPACK_PACKAGE_DESCRIPTION
"zx8xwav turns a ZX81 program image (.p) or a ZX80 program image (.o, .80)
into a WAV file holding the machine's cassette-tape signal. Played from a
sound card into the computer's EAR socket, the WAV loads the program into
the real machine as a tape would. The signal is exact to the sample, and an
earlier file is only ever replaced by a complete WAV.
.
zx8xread recovers the programs from recordings of ZX81 and ZX80 tapes, the
machines' own SAVEs through worn cassette decks included, combines several
readings of one tape, and marks every byte in doubt.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/" "/\\\\.git/")
# The archives unpack straight into a prefix: bin/, share/man/ and share/doc/ (or, on Windows,
# the programs beside their texts), with no folder around them.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME windows-x86_64)
else()
    set(CPACK_GENERATOR DEB TGZ)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The library dependencies (libc, libstdc++, libgcc) come from dpkg-shlibdeps.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian.cmake)
endif()

include(CPack)
