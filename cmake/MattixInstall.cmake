# The installed layout, under the prefix (/usr for the Debian package, where
# every host looks without a variable):
#   bin/mattix               a link to ../lib/mattix/mattix
#   lib/mattix/              the command, the module and the two libraries
#                            it imports; each finds the others beside it
#   lib/frei0r-1/mattix.so   the frei0r plug-in (host/frei0r), with the
#                            editors' descriptions under share/
#   lib/<multiarch>/gstreamer-1.0/libgstmattix.so   (host/gstreamer)
# The command lives beside the module because it looks for the module next
# to itself (its link in bin/ is followed to there).
if(TARGET mattix_command)
  set_target_properties(mattix_command PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS mattix_command RUNTIME DESTINATION lib/mattix)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/bin-link)
  file(CREATE_LINK ../lib/mattix/mattix ${PROJECT_BINARY_DIR}/bin-link/mattix SYMBOLIC)
  install(FILES ${PROJECT_BINARY_DIR}/bin-link/mattix DESTINATION bin)
endif()

# The Debian package: `cmake --build build --target package` writes
# build/mattix_<version>_<arch>.deb, installed with `apt install ./FILE`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mattix)
set(CPACK_PACKAGE_VENDOR Mattix)
set(CPACK_PACKAGE_CONTACT "Mattix developers <mattix@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Chroma key with a hue/saturation wheel: command, keyer page, frei0r and GStreamer plug-ins")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg, melt")
# Dependencies from the libraries the binaries link (dpkg-shlibdeps); the
# package's own libraries are found in the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${PROJECT_BINARY_DIR}/platform/pixmill ${PROJECT_BINARY_DIR}/platform/win)
include(CPack)
