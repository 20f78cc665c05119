# The Debian packages (make deb): what `cmake --install` puts under /usr, packed by CPack's DEB
# generator into one package per installation component:
#   trelvane      (cli) the command line and its manual page: libtiff, nothing of Qt or Tesseract
#   trelvane-gui  (gui) the window module, its help page, menu entry, icons and fax file type
#   trelvane-ocr  (ocr) the text recognition module, which alone needs Tesseract
# Each package's library dependencies are computed by dpkg-shlibdeps from its own files.
set(TRELVANE_PACKAGE_MAINTAINER "Trelvane maintainers <${TRELVANE_SUPPORT_MAIL}>"
    CACHE STRING "The Debian packages' Maintainer field")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "trelvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Trelvane")
set(CPACK_PACKAGE_CONTACT "${TRELVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(TRELVANE_GUI)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
if(TRELVANE_HAS_OCR)
  list(APPEND CPACK_COMPONENTS_ALL ocr)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/package")
set(CPACK_PACKAGE_CHECKSUM SHA256)

# What all three descriptions share, after each one's own first paragraph. One string: a CMake
# list would put ';' into the Description field.
string(CONCAT about_trelvane
  "Trelvane converts WinFax fax archives (.fxd, .fxm, .fxr and .fxs files) into\n"
  "PDF files, one PDF per fax and one PDF page per fax page, carrying each\n"
  "page's CCITT coding into the PDF without loss. Every file gets one report\n"
  "line that names damaged, cut short or left out pages, so no page is lost\n"
  "behind a success message.")
set(exact_version "(= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME "trelvane")
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION "graphics")
string(CONCAT CPACK_DEBIAN_CLI_DESCRIPTION
  "convert WinFax fax files into PDF files\n"
  "${about_trelvane}\n"
  "\n"
  "This package holds the command line, which converts single files or whole\n"
  "folder trees (in parallel, with /skip for archives converted before) and\n"
  "suits cron jobs on servers without a display. The window is in\n"
  "trelvane-gui, searchable PDFs (text recognition) in trelvane-ocr.")
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "trelvane-gui, trelvane-ocr")
set(CPACK_DEBIAN_CLI_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/data/debian/postrm")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME "trelvane-gui")
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION "graphics")
string(CONCAT CPACK_DEBIAN_GUI_DESCRIPTION
  "convert WinFax fax files into PDF files - desktop window\n"
  "${about_trelvane}\n"
  "\n"
  "This package holds the window: source and save folders, a list of every\n"
  "file's result, automatic conversion every few minutes and a tray icon. It\n"
  "adds a menu entry and lets file managers open fax files with Trelvane.")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "trelvane ${exact_version}")
# The window's Help opens its page through xdg-open.
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "xdg-utils")

set(CPACK_DEBIAN_OCR_PACKAGE_NAME "trelvane-ocr")
set(CPACK_DEBIAN_OCR_PACKAGE_SECTION "graphics")
string(CONCAT CPACK_DEBIAN_OCR_DESCRIPTION
  "convert WinFax fax files into PDF files - searchable PDFs\n"
  "${about_trelvane}\n"
  "\n"
  "This package lets trelvane recognise the faxes' text with Tesseract (/ocr)\n"
  "and lay it invisibly over each page, so that the PDFs can be searched.\n"
  "Each language needs its Tesseract data package; English is recommended.")
set(CPACK_DEBIAN_OCR_PACKAGE_DEPENDS "trelvane ${exact_version}")
set(CPACK_DEBIAN_OCR_PACKAGE_RECOMMENDS "tesseract-ocr-eng")

# Every package carries the copyright file and the changelog in its documentation folder, as
# Debian requires (the changelog compressed; a native package's is changelog.gz).
set(debian_changelog_gz "${PROJECT_BINARY_DIR}/debian/changelog.gz")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${PROJECT_SOURCE_DIR}/data/debian/changelog")
file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/debian")
execute_process(COMMAND gzip -9nc "${PROJECT_SOURCE_DIR}/data/debian/changelog"
                OUTPUT_FILE "${debian_changelog_gz}" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not compress data/debian/changelog")
endif()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" upper)
  set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  # Only the packages hold these: a plain `cmake --install` has no use for them.
  install(FILES "${PROJECT_SOURCE_DIR}/data/debian/copyright" "${debian_changelog_gz}"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}" COMPONENT ${component}
          EXCLUDE_FROM_ALL)
  if(EXISTS "${PROJECT_SOURCE_DIR}/data/debian/${package}.lintian-overrides")
    install(FILES "${PROJECT_SOURCE_DIR}/data/debian/${package}.lintian-overrides"
            DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides" RENAME "${package}"
            COMPONENT ${component} EXCLUDE_FROM_ALL)
  endif()
endforeach()

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
]] COMPONENT cli)

include(CPack)

# The test builds the packages in a Release folder of its own inside this build folder (kept, so
# that later runs are incremental), unpacks them into a scratch root and checks them there.
if(TRELVANE_TESTS AND TRELVANE_GUI AND NOT TRELVANE_SANITIZE AND NOT TRELVANE_FUZZ)
  add_test(NAME deb_package
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-deb ${PROJECT_BINARY_DIR}/deb-package)
  set_tests_properties(deb_package PROPERTIES TIMEOUT 3600 LABELS package ENVIRONMENT JOBS=2)
endif()
