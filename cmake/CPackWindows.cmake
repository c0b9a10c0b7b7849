# The installer's own file name: ksr-setup-VERSION-win64.exe; the ZIP unpacks into one folder.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "ksr-setup-${CPACK_PACKAGE_VERSION}-win64")
else()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
