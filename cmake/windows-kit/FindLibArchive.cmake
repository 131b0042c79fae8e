# FindLibArchive.cmake (Lapmark Windows SDK wrapper)
#
# The SDK's libarchive is a static library (libarchive.a, built with zlib only).
# CMake's stock FindLibArchive does not know that, so this wrapper runs it and
# then teaches LibArchive::LibArchive what a static link needs:
#   * the compile definition LIBARCHIVE_STATIC (otherwise archive.h declares
#     every function __declspec(dllimport) on Windows), and
#   * the link dependency zlib (ZLIB::ZLIB from the same SDK).
# toolchain-mingw64.cmake puts this folder on CMAKE_MODULE_PATH.
include("${CMAKE_ROOT}/Modules/FindLibArchive.cmake")
if(LibArchive_FOUND)
  include(CMakeFindDependencyMacro)
  find_dependency(ZLIB)
  list(APPEND LibArchive_LIBRARIES ${ZLIB_LIBRARIES})
  if(TARGET LibArchive::LibArchive)
    set_property(TARGET LibArchive::LibArchive APPEND PROPERTY
      INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC)
    set_property(TARGET LibArchive::LibArchive APPEND PROPERTY
      INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
  endif()
endif()
