# What `cmake --install` puts where: the three programs, the desktop entry, the icon theme,
# the metadata, the manual pages and the documentation. Nothing here is built by the
# default target: the generated files are written when CMake configures.
include(GNUInstallDirs)
# The documentation folder is named like the package, in lower case. The toolkit's set-up
# has already chosen the default, named after the project: replace it unless somebody
# chose a folder.
if(CMAKE_INSTALL_DOCDIR STREQUAL "${CMAKE_INSTALL_DATAROOTDIR}/doc/${PROJECT_NAME}")
    set(CMAKE_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/pixlane")
    GNUInstallDirs_get_absolute_install_dir(CMAKE_INSTALL_FULL_DOCDIR CMAKE_INSTALL_DOCDIR DOCDIR)
endif()

set(PIXLANE_HOMEPAGE "https://www.kelvorn.de/pixlane" CACHE STRING
    "Home page named by the metadata; the screenshot is expected at HOMEPAGE/screenshot.png")
set(PIXLANE_MAINTAINER "Kelvorn Pixlane-Team <pixlane@kelvorn.de>" CACHE STRING
    "Maintainer of the package and the change log: name <address>")

set(pixlane_generated ${PROJECT_BINARY_DIR}/generated)

# A generated text file, and its compressed copy for the man and doc folders.
function(pixlane_configure_gzip source target)
    configure_file(${source} ${pixlane_generated}/${target} @ONLY)
    execute_process(
        COMMAND gzip -9 -n -c ${pixlane_generated}/${target}
        OUTPUT_FILE ${pixlane_generated}/${target}.gz
        RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "gzip ${target}: ${rc}")
    endif()
endfunction()

# pixlane-sim exists only where pseudo-terminals do.
set(pixlane_programs pixlane pixlane-cli)
if(PIXLANE_HAVE_DEMO)
    list(APPEND pixlane_programs pixlane-sim)
endif()
install(TARGETS ${pixlane_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES contrib/pixlane.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    RENAME ${PIXLANE_APP_ID}.desktop)

install(FILES contrib/icons/pixlane.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size ${PIXLANE_ICON_SIZES})
    install(FILES contrib/icons/hicolor/${size}x${size}/apps/pixlane.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

configure_file(contrib/pixlane.metainfo.xml.in
    ${pixlane_generated}/${PIXLANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${pixlane_generated}/${PIXLANE_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual pages carry the version and the release date in their title lines.
foreach(page ${pixlane_programs})
    pixlane_configure_gzip(contrib/man/${page}.1.in ${page}.1)
    install(FILES ${pixlane_generated}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The change log wants the release date as the mail format writes it.
execute_process(COMMAND date -u -R -d "${PIXLANE_RELEASE_DATE} 12:00"
    OUTPUT_VARIABLE PIXLANE_RELEASE_DATE_MAIL OUTPUT_STRIP_TRAILING_WHITESPACE)
pixlane_configure_gzip(contrib/changelog.in changelog)

install(FILES README.md contrib/copyright ${pixlane_generated}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README links to these relative to itself.
install(FILES docs/DECISIONS.md docs/screenshot.png docs/screenshot-building.png docs/screenshot-report.png
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# Everything in contrib/examples (settings, capture units, cron lines, ...) goes to
# DOCDIR/examples as it is: a new example only has to be dropped into that folder. Files
# keep their names and subfolders and are installed read-only, executable bits removed.
install(DIRECTORY contrib/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
