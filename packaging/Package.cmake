# The Debian package: "cpack -G DEB" in the build folder makes quillory_<version>-1_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillory)
set(CPACK_PACKAGE_VENDOR Brenmoor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Debian revision: the package's version is PROJECT_VERSION-1, as changelog.Debian's
# newest entry says.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_CONTACT "Brenmoor <support@brenmoor.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brenmoor <support@brenmoor.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://brenmoor.example/)
# Depends comes from the libraries the binaries load (dpkg-shlibdeps), and OpenSSL's,
# which they load only when a report asks for the files' digests.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3")
# Calc opens the results as a workbook; xdg-utils finds the text editor.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-calc, xdg-utils")
# The summary is the first line of the package's description; the rest follows it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search the contents of many vCard files at once")
set(CPACK_PACKAGE_DESCRIPTION "Quillory reads every card of many vCard (.vcf) files, of vCard 2.1, 3.0
and 4.0 in any common encoding, and shows each field that contains a search
text as a row: the file, the field, the value and the contact. The results can
be copied, saved as text, opened in a spreadsheet or written out as vCards.
Card files can be opened with it from the file manager.
.
quillory-search does the same search from the command line.")
include(CPack)
