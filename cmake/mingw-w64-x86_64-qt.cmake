# Cross-building the window for 64-bit Windows: the MinGW-w64 toolchain with Qt 6 and libvterm
# for Windows from KSR_QT_WINDOWS (scripts/qt-windows.sh prepares it). Qt's DLLs use the MinGW
# runtime DLLs, so the programs link with them too (no -static): one C++ runtime in the process,
# the DLLs shipped beside the programs.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
if(NOT KSR_QT_WINDOWS)
  set(KSR_QT_WINDOWS "$ENV{KSR_QT_WINDOWS}")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${KSR_QT_WINDOWS}/qt6-mingw ${KSR_QT_WINDOWS}/vterm)
set(CMAKE_PREFIX_PATH ${KSR_QT_WINDOWS}/qt6-mingw)
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
