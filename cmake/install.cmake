# What `cmake --install` puts under the prefix, how other projects find it
# (CMake package, pkg-config) and the Debian package made of the same files.
# Included last, so that every folder's install rules are known.
include(CMakePackageConfigHelpers)

set(PTOLIX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ptolix)

# The caller's interface is include/ptolix/ as a whole, plus the generated
# version header.
install(DIRECTORY include/ptolix DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_BINARY_DIR}/include/ptolix/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ptolix)
install(TARGETS ptolix EXPORT ptolixTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ptolix_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR})

install(EXPORT ptolixTargets NAMESPACE ptolix:: DESTINATION ${PTOLIX_CMAKE_DIR})
configure_package_config_file(cmake/ptolixConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ptolixConfig.cmake INSTALL_DESTINATION ${PTOLIX_CMAKE_DIR})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ptolixConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ptolixConfig.cmake ${PROJECT_BINARY_DIR}/ptolixConfigVersion.cmake
  DESTINATION ${PTOLIX_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so that one file serves
# any prefix (cmake --install --prefix, the package's /usr).
file(RELATIVE_PATH PC_PREFIX_FROM_PCDIR /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" PC_PREFIX_FROM_PCDIR "${PC_PREFIX_FROM_PCDIR}")
# A static libptolix needs the shared libraries it uses at link time (given
# with --static). They are named directly: under --static, the dependencies'
# own .pc files (libpq's, sqlite3's) add their static archives' private
# libraries, which a program linking the shared ones neither has nor needs.
set(PC_LIBS_PRIVATE "-lsqlite3 -lpq -lsodium -lfmt")
configure_file(cmake/ptolix.pc.in ${PROJECT_BINARY_DIR}/ptolix.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ptolix.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Debian package: everything above under /usr. dpkg-shlibdeps derives
# the runtime libraries from the binaries; the Python module, when built,
# adds the interpreter. Programs that link the static library need the
# dependencies' development packages, hence the suggestions.
set(CPACK_PACKAGE_NAME ptolix)
set(CPACK_PACKAGE_VENDOR "Ptolix")
set(CPACK_PACKAGE_CONTACT "Ptolix maintainers <maintainers@users.noreply.c-seed-cb6229d4.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Roles, users and sign-in, a column tree with access, information items, websites, page code\n"
  "and registers on SQLite or PostgreSQL: the C++ library with its headers, CMake package and\n"
  "pkg-config file, the ptolix command-line tool and the documentation.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libsqlite3-dev, libpq-dev, libsodium-dev, libfmt-dev, pkg-config")
if(BUILD_SHARED_LIBS)
  # A shlibs file and the ldconfig trigger for libptolix.so.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()
get_property(ptolix_subdirs DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
if(${PROJECT_SOURCE_DIR}/python IN_LIST ptolix_subdirs)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS python3)
endif()
include(CPack)
