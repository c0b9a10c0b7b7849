# What a Qt program built with MinGW-w64 needs beside it on Windows: the Qt DLLs, the platform
# and style plugins, and the MinGW runtime DLLs. Copied beside the programs and tests of the
# build tree (so that they run under Wine as they are) and installed beside the programs.
get_filename_component(KSR_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
set(KSR_QT_DLLS ${KSR_QT_PREFIX}/bin/Qt6Core.dll ${KSR_QT_PREFIX}/bin/Qt6Gui.dll
                ${KSR_QT_PREFIX}/bin/Qt6Widgets.dll)
set(KSR_QT_PLATFORMS ${KSR_QT_PREFIX}/plugins/platforms/qwindows.dll)
set(KSR_QT_STYLES ${KSR_QT_PREFIX}/plugins/styles/qwindowsvistastyle.dll)
set(KSR_MINGW_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  find_file(KSR_${dll} ${dll} NO_CACHE REQUIRED NO_CMAKE_FIND_ROOT_PATH
            PATHS /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
  list(APPEND KSR_MINGW_DLLS ${KSR_${dll}})
endforeach()

# Beside the programs and tests of the build tree; the tests also get Qt Test and the offscreen
# platform.
function(ksr_windows_runtime_into dir)
  string(MAKE_C_IDENTIFIER "${dir}" id)
  add_custom_target(ksr_runtime_${id} ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/platforms ${dir}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KSR_QT_DLLS} ${KSR_QT_PREFIX}/bin/Qt6Test.dll
            ${KSR_MINGW_DLLS} ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KSR_QT_PLATFORMS}
            ${KSR_QT_PREFIX}/plugins/platforms/qoffscreen.dll ${dir}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${KSR_QT_STYLES} ${dir}/styles
    VERBATIM)
endfunction()
ksr_windows_runtime_into(${CMAKE_BINARY_DIR}/app/ksr-setup)
ksr_windows_runtime_into(${CMAKE_BINARY_DIR}/app/ksr-config)
ksr_windows_runtime_into(${CMAKE_BINARY_DIR}/tests)
ksr_windows_runtime_into(${CMAKE_BINARY_DIR}/tools)

install(FILES ${KSR_QT_DLLS} ${KSR_MINGW_DLLS} DESTINATION .)
install(FILES ${KSR_QT_PLATFORMS} DESTINATION platforms)
install(FILES ${KSR_QT_STYLES} DESTINATION styles)
