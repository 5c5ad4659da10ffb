# Installation into the usual Linux folders (`cmake --install`) and the Debian package (`cpack -G DEB`).
# The desktop entry, icons, AppStream metadata, manual pages and Debian documents live in data/.
include(GNUInstallDirs)

set(TARN_DATA_DIR ${CMAKE_SOURCE_DIR}/data)
# The AppStream component id; the desktop entry keeps the short name tarn.desktop.
set(TARN_APPSTREAM_ID io.github.tarn_search.Tarn)
set(TARN_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarn)

set(tarn_programs tarngrep tarnre)
if(TARGET tarn)
  list(APPEND tarn_programs tarn)
endif()
foreach(program IN LISTS tarn_programs)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET tarn)
  install(FILES ${TARN_DATA_DIR}/tarn.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${TARN_DATA_DIR}/${TARN_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
  install(FILES ${TARN_DATA_DIR}/icons/tarn.svg DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
  # Rendered once from tarn.svg and kept in the tree, so the build needs no SVG renderer.
  install(FILES ${TARN_DATA_DIR}/icons/tarn-48.png DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/48x48/apps
          RENAME tarn.png)
endif()

# Manual pages and the changelog are installed compressed, as Debian policy wants them (gzip -9n:
# no name or time stamp, so the package is reproducible). Without gzip they go in as they are.
find_program(TARN_GZIP gzip)
mark_as_advanced(TARN_GZIP)
set(tarn_compressed_dir ${CMAKE_BINARY_DIR}/compressed)
set(tarn_compressed_outputs)
# tarn_install_compressed(<source> <installed name> <destination>)
function(tarn_install_compressed source name destination)
  if(NOT TARN_GZIP)
    install(FILES ${source} DESTINATION ${destination} RENAME ${name})
    return()
  endif()
  set(plain ${tarn_compressed_dir}/${name})
  add_custom_command(OUTPUT ${plain}.gz
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${tarn_compressed_dir}
                     COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
                     COMMAND ${TARN_GZIP} -9nf ${plain}
                     DEPENDS ${source}
                     COMMENT "Compressing ${name}"
                     VERBATIM)
  install(FILES ${plain}.gz DESTINATION ${destination})
  set(tarn_compressed_outputs ${tarn_compressed_outputs} ${plain}.gz PARENT_SCOPE)
endfunction()

foreach(program IN LISTS tarn_programs)
  tarn_install_compressed(${TARN_DATA_DIR}/man/${program}.1 ${program}.1 ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# A package whose version has no Debian revision keeps its changelog as changelog.gz.
tarn_install_compressed(${TARN_DATA_DIR}/debian/changelog changelog ${TARN_INSTALL_DOCDIR})
install(FILES ${TARN_DATA_DIR}/debian/copyright DESTINATION ${TARN_INSTALL_DOCDIR})
if(tarn_compressed_outputs)
  add_custom_target(tarn_compressed_docs ALL DEPENDS ${tarn_compressed_outputs})
endif()

# The files that carry the version must name the one being built.
file(STRINGS ${TARN_DATA_DIR}/debian/changelog tarn_version_line LIMIT_COUNT 1)
if(NOT tarn_version_line MATCHES "^tarn \\(${PROJECT_VERSION}\\) ")
  message(WARNING "data/debian/changelog has no entry for version ${PROJECT_VERSION} at its top")
endif()
file(STRINGS ${TARN_DATA_DIR}/${TARN_APPSTREAM_ID}.metainfo.xml tarn_version_line REGEX "<release " LIMIT_COUNT 1)
if(NOT tarn_version_line MATCHES "version=\"${PROJECT_VERSION}\"")
  message(WARNING "the first release of the metainfo file is not ${PROJECT_VERSION}")
endif()
# The programs print, and the settings file records, the product version of settings_records.h.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/settings/settings_records.h tarn_version_line REGEX "kProductVersion = ")
if(NOT tarn_version_line MATCHES "\"${PROJECT_VERSION}\"")
  message(WARNING "src/settings/settings_records.h's kProductVersion is not ${PROJECT_VERSION}")
endif()
foreach(program IN LISTS tarn_programs)
  file(STRINGS ${TARN_DATA_DIR}/man/${program}.1 tarn_version_line REGEX "^\\.TH ")
  if(NOT tarn_version_line MATCHES "\"Tarn ${PROJECT_VERSION}\"")
    message(WARNING "data/man/${program}.1 does not name version ${PROJECT_VERSION}")
  endif()
endforeach()

set(TARN_PACKAGE_MAINTAINER "The Tarn developers <tarn@example.org>"
    CACHE STRING "Maintainer line of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarn)
set(CPACK_PACKAGE_VENDOR "The Tarn developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TARN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search tool for Japanese Shift-JIS text files")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The result view and the editor need a fixed-pitch Japanese font whose full-width glyphs are
# exactly two cells wide; the toolkit's own dialogs need its Japanese translations.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tarn walks a directory tree, skips binary files and lists every line of
the text files that matches a search string, with the matched text
highlighted. Files are read as Japanese Shift-JIS (code page 932).

The search string is a regular expression of Tarn's own Shift-JIS aware,
leftmost-longest engine, or a plain text. A fuzzy-character dictionary
makes full-width and half-width forms, letter case and kana forms match one
another; a user's synonym dictionary makes each word of a group find the
others. A result line opens in a text editor at its line; results can be
saved as text or HTML and stay in a history.

The package holds the desktop application tarn, the terminal search
tarngrep and the pattern tester tarnre.")

include(CPack)
