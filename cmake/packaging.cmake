# The Debian package (make deb): what `cmake --install` puts under /usr, packed by CPack's DEB
# generator. Its Depends line is computed by dpkg-shlibdeps from the libraries the binary links.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "trelvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Trelvane")
set(CPACK_PACKAGE_CONTACT "Trelvane maintainers <${TRELVANE_SUPPORT_MAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert WinFax fax files (fxd, fxm, fxr, fxs) into PDF files")
set(CPACK_PACKAGE_DESCRIPTION
    "Trelvane converts WinFax fax archives into PDF files, one PDF per fax file and one page\n"
    "per fax page, carrying the fax's own CCITT coding into the PDF without loss. It converts\n"
    "single files or whole folder trees from the command line, and offers a desktop window\n"
    "with progress, a result list, automatic re-conversion and a tray icon.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's Help opens its page through xdg-open.
# Searchable PDFs need the language data besides the library; English is the default language.
if(TRELVANE_HAS_OCR)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, tesseract-ocr-eng")
else()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
endif()
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
set(CPACK_PACKAGE_CHECKSUM SHA256)

# Debian keeps manual pages compressed. Only CPack's own installation sets this variable, so a
# plain `cmake --install` stays as it was.
set(CPACK_CUSTOM_INSTALL_VARIABLES "TRELVANE_COMPRESS_MAN_PAGES=ON")
install(CODE [[
  if(TRELVANE_COMPRESS_MAN_PAGES)
    set(page "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/man/man1/trelvane.1")
    if(EXISTS "${page}")
      execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "could not compress ${page}")
      endif()
    endif()
  endif()
]])

include(CPack)

# The test builds the package in a Release folder of its own inside this build folder (kept, so
# that later runs are incremental), unpacks it into a scratch root and checks it there.
if(TRELVANE_TESTS AND TRELVANE_GUI AND NOT TRELVANE_SANITIZE AND NOT TRELVANE_FUZZ)
  add_test(NAME deb_package
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-deb ${PROJECT_BINARY_DIR}/deb-package)
  set_tests_properties(deb_package PROPERTIES TIMEOUT 3600 LABELS package ENVIRONMENT JOBS=2)
endif()
