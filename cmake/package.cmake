# The Debian package: `cpack -G DEB` in the build folder makes varnel_VERSION_ARCH.deb.
# Its dependencies are those of the program's shared libraries (found by dpkg-shlibdeps, from
# dpkg-dev) plus the Japanese font and Qt's own translations, which are loaded at run time.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnel)
set(CPACK_PACKAGE_VENDOR "The Varnel developers")
set(CPACK_PACKAGE_CONTACT "The Varnel developers <maintainers@users.noreply.c-seed-3b2d76fb.example>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "picture slide-show maker with a Japanese user interface")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Varnel browses the drives and folders for JPEG, BMP, GIF, PNG, WebP,
HEIC, HEIF, AVIF, TIFF or JPEG XL files, previews the file clicked and
builds an ordered play list; pictures with an embedded colour profile are
shown in sRGB. Playing the list shows each picture once on a black,
full-screen window, at its own size and centred, one per display interval,
which is set in whole seconds.")
# Directories in the package as Debian has them, whatever the umask of who builds it.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
