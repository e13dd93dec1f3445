# What a release installs and how it is packaged: the programs, their manual pages and
# documents, a Debian package, a Windows zip and a source archive (README.md, "Releasing").
# Tests, benchmarks and fuzz targets are never installed.
include(GNUInstallDirs)

set(VOSTREL_MAINTAINER "The vostrel developers <developers@vostrel.example.org>")
set(VOSTREL_HOMEPAGE "https://vostrel.example.org/")

if(WIN32)
  # The zip is unpacked and used where it lands, so everything lies beside the program: that is
  # where it looks for a bare file name and writes by default, and `vostrel door` works at once.
  set(VOSTREL_INSTALL_BINDIR .)
  set(VOSTREL_INSTALL_DOCDIR .)
else()
  set(VOSTREL_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(VOSTREL_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()

install(TARGETS vostrel RUNTIME DESTINATION ${VOSTREL_INSTALL_BINDIR})
if(TARGET vostrel-pack)
  install(TARGETS vostrel-pack RUNTIME DESTINATION ${VOSTREL_INSTALL_BINDIR})
endif()
if(TARGET vostrel-sheet)
  install(TARGETS vostrel-sheet RUNTIME DESTINATION ${VOSTREL_INSTALL_BINDIR})
endif()
install(FILES README.md LICENSE examples/door.art DESTINATION ${VOSTREL_INSTALL_DOCDIR})

# The GIMP plug-in goes where Debian's GIMP 2.10 looks for plug-ins (its gimplibdir under the
# prefix), in a folder of its own name; only into its own package (component vostrel-gimp), so
# that the main package depends on nothing graphical.
if(TARGET file-vostrel-art)
  set(VOSTREL_GIMP_PLUGIN_DIR lib/gimp/2.0/plug-ins/file-vostrel-art)
  install(TARGETS file-vostrel-art RUNTIME DESTINATION ${VOSTREL_GIMP_PLUGIN_DIR}
          COMPONENT vostrel-gimp EXCLUDE_FROM_ALL)
endif()

add_subdirectory(man)

# ---- The browser page ----------------------------------------------------------------------
# vostrel.html is built by the web preset (emscripten); a release build packages it as it finds
# it: beside the programs in the zip, under share/vostrel/ with a desktop entry in the .deb, and
# as a release file of its own beside the packages.
set(VOSTREL_WEB_PAGE "${PROJECT_SOURCE_DIR}/build/web/web/vostrel.html" CACHE FILEPATH
    "The browser page of the web preset, packaged when present")
if(EXISTS "${VOSTREL_WEB_PAGE}")
  set(pageRelease "${PROJECT_BINARY_DIR}/vostrel-${PROJECT_VERSION}.html")
  file(COPY_FILE "${VOSTREL_WEB_PAGE}" "${pageRelease}" ONLY_IF_DIFFERENT)
  file(SHA256 "${pageRelease}" pageHash)
  file(WRITE "${pageRelease}.sha256" "${pageHash}  vostrel-${PROJECT_VERSION}.html\n")
  if(WIN32)
    install(FILES "${VOSTREL_WEB_PAGE}" DESTINATION .)
  else()
    set(VOSTREL_PAGE_INSTALLED "${CMAKE_INSTALL_FULL_DATADIR}/vostrel/vostrel.html")
    install(FILES "${VOSTREL_WEB_PAGE}" DESTINATION ${CMAKE_INSTALL_DATADIR}/vostrel)
    configure_file(cmake/vostrel.desktop.in "${PROJECT_BINARY_DIR}/vostrel.desktop" @ONLY)
    install(FILES "${PROJECT_BINARY_DIR}/vostrel.desktop"
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  endif()
else()
  message(STATUS "No browser page at ${VOSTREL_WEB_PAGE}: the packages are made without it "
                 "(build it first with `cmake --workflow --preset web`)")
endif()

# ---- Debian package ------------------------------------------------------------------------
# Debian wants two documents of its own in every package: the copyright in its machine-readable
# form and a changelog. They go into the .deb only (component "debian"), not into a plain install.
if(NOT WIN32)
  set(debianDir "${PROJECT_BINARY_DIR}/debian")
  file(READ LICENSE licenceText)
  # The licence's text (its title is the field's first line), as a copyright field continues it:
  # each line indented, empty lines a dot.
  string(REGEX REPLACE "^MIT License\n\n" "" licenceText "${licenceText}")
  string(REGEX REPLACE "\n$" "" licenceText "${licenceText}")
  string(REGEX REPLACE "\n\n" "\n.\n" licenceText "${licenceText}")
  string(REGEX REPLACE "\n" "\n " licenceText "${licenceText}")
  file(WRITE "${debianDir}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: vostrel
Upstream-Contact: ${VOSTREL_MAINTAINER}
Source: ${VOSTREL_HOMEPAGE}

Files: *
Copyright: 2026 the vostrel developers
License: Expat
 ${licenceText}
")
  string(TIMESTAMP changelogDate "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE "${debianDir}/changelog"
"vostrel (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}; what it does is in README.md.

 -- ${VOSTREL_MAINTAINER}  ${changelogDate}
")
  install(FILES "${debianDir}/copyright"
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
  # Debian has it compressed, as it has the manual pages (man/CMakeLists.txt finds gzip).
  if(VOSTREL_GZIP)
    add_custom_command(OUTPUT "${debianDir}/changelog.gz"
      COMMAND ${CMAKE_COMMAND} -DGZIP=${VOSTREL_GZIP} -DIN=${debianDir}/changelog
              -DOUT=${debianDir}/changelog.gz -P ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
      DEPENDS "${debianDir}/changelog" ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
      VERBATIM)
    add_custom_target(vostrel_debian_changelog ALL DEPENDS "${debianDir}/changelog.gz")
    install(FILES "${debianDir}/changelog.gz"
            DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
  endif()
endif()

# ---- CPack -----------------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME vostrel)
set(CPACK_PACKAGE_VENDOR "the vostrel developers")
set(CPACK_PACKAGE_CONTACT "${VOSTREL_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${VOSTREL_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter of Morvane .ART sprites to 8-bit BMP images")
set(CPACK_PACKAGE_DESCRIPTION
    "vostrel converts the sprite files of the game Morvane (.art) into uncompressed
8-bit BMP images, one for every picture, frame and palette that a file holds.
It converts one file or every .art file of a directory. A sample sprite comes
with it.")
if(TARGET vostrel-pack)
  string(APPEND CPACK_PACKAGE_DESCRIPTION
         "\nvostrel-pack puts edited pictures back into an .art file.")
endif()
if(TARGET vostrel-sheet)
  string(APPEND CPACK_PACKAGE_DESCRIPTION
         "\nvostrel-sheet writes each file as indexed PNG sheets with a manifest\n"
         "that sprite editors and game engines read, its palettes and animations.")
endif()
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Read by cpack for each package: it hands on the date of the sources, which cpack then gives
# every file in the archives (and leaves out of their gzip headers) instead of the times of the
# checkout, the build and the packaging.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake")
file(WRITE "${CPACK_PROJECT_CONFIG_FILE}"
"if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} \"${VOSTREL_SOURCE_DATE_EPOCH}\")
endif()
")
# The source archive holds the committed tree (cmake/source-archive.cmake, run by cpack).
find_program(VOSTREL_GIT git DOC "git, to keep untracked files out of the source archive")
file(APPEND "${CPACK_PROJECT_CONFIG_FILE}"
"if(CPACK_INSTALLED_DIRECTORIES)
  set(VOSTREL_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(VOSTREL_GIT \"${VOSTREL_GIT}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/source-archive.cmake\")
endif()
")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  # Installed under /usr, the Debian generator's default.
  set(CPACK_GENERATOR DEB)
  # Everything installed plus Debian's own documents.
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/"
      "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}")
# Nothing the build, npm or an editor leaves in the tree: the build trees, git's data, the page's
# npm packages (web/package-lock.json brings them back), swap files.
# The patterns are matched against whole paths, so the tree's own directories are anchored to it:
# a checkout that lies in some ".../build/..." must still be archived.
string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" sourceDirPattern "${PROJECT_SOURCE_DIR}")
set(CPACK_SOURCE_IGNORE_FILES
    "^${sourceDirPattern}/\\.git(/|$)" "^${sourceDirPattern}/build/" "^${sourceDirPattern}/out/"
    "^${sourceDirPattern}/web/node_modules/"
    "\\.swp$" "~$")

include(CPack)

# ---- The GIMP plug-in's package ---------------------------------------------------------------
# vostrel-gimp: the plug-in alone, depending on gimp, made by cpack from a configuration of its
# own (CPackConfig-gimp.cmake: the main one with another name, contents and dependencies), so
# that the main package stays as it is: `cpack --config build/package/CPackConfig-gimp.cmake`.
if(TARGET file-vostrel-art AND NOT WIN32)
  set(gimpDocDir ${CMAKE_INSTALL_DATADIR}/doc/vostrel-gimp)
  install(FILES "${debianDir}/copyright" DESTINATION ${gimpDocDir}
          COMPONENT vostrel-gimp EXCLUDE_FROM_ALL)
  file(WRITE "${debianDir}/gimp/changelog"
"vostrel-gimp (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}; what it does is in README.md of vostrel.

 -- ${VOSTREL_MAINTAINER}  ${changelogDate}
")
  if(VOSTREL_GZIP)
    add_custom_command(OUTPUT "${debianDir}/gimp/changelog.gz"
      COMMAND ${CMAKE_COMMAND} -DGZIP=${VOSTREL_GZIP} -DIN=${debianDir}/gimp/changelog
              -DOUT=${debianDir}/gimp/changelog.gz -P ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
      DEPENDS "${debianDir}/gimp/changelog" ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
      VERBATIM)
    add_custom_target(vostrel_gimp_debian_changelog ALL DEPENDS "${debianDir}/gimp/changelog.gz")
    install(FILES "${debianDir}/gimp/changelog.gz" DESTINATION ${gimpDocDir}
            COMPONENT vostrel-gimp EXCLUDE_FROM_ALL)
  endif()
  file(READ "${PROJECT_BINARY_DIR}/CPackConfig.cmake" mainConfig)
  file(WRITE "${PROJECT_BINARY_DIR}/CPackConfig-gimp.cmake" "${mainConfig}
# The GIMP plug-in's package: the settings above, with these for it.
set(CPACK_PACKAGE_NAME \"vostrel-gimp\")
set(CPACK_INSTALL_CMAKE_PROJECTS \"${PROJECT_BINARY_DIR};${PROJECT_NAME};vostrel-gimp;/\")
set(CPACK_DEBIAN_PACKAGE_DEPENDS \"gimp (>= 2.10)\")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY \"GIMP plug-in for Morvane .ART sprites\")
set(CPACK_PACKAGE_DESCRIPTION \"file-vostrel-art opens the sprite files of the game Morvane (.art) in GIMP 2.10
as an indexed image with one layer per frame, in one of their palettes, and
exports them back: unchanged frames are copied byte for byte, painted layers
replace their frames and a recoloured colour map its palette.\")
")
endif()
