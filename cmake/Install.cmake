# What a release archive holds (cmake/Package.cmake, scripts/dist.sh): the
# launcher executables, the branding tool (built for Windows, and for Linux
# in a Linux build, where it brands the Windows launchers), the image tool, the user
# documentation and the licences. Executables are stripped when installed with --strip.
#
# Every shipped target is installed when this build defines it, so that
# launchers added later (the console launcher, the Linux launcher of a host
# build) are picked up without a change here.

set(vx_shipped_launchers VantorixLauncher VantorixLauncherConsole)
set(VX_PACKAGE_HAS_LAUNCHER OFF)
foreach(vx_shipped ${vx_shipped_launchers} vantorix-brand)
  if(TARGET ${vx_shipped})
    install(TARGETS ${vx_shipped} RUNTIME DESTINATION . COMPONENT vx_release)
    if(vx_shipped IN_LIST vx_shipped_launchers)
      set(VX_PACKAGE_HAS_LAUNCHER ON)
    endif()
  endif()
endforeach()

# The image tool (vantorix-image.jar and its starters) installs itself in
# tools/image/CMakeLists.txt: it finds the launchers beside itself, so it
# goes to the archive's top directory.

install(FILES docs/config-format.md docs/packaging.md docs/single-instance.md DESTINATION docs COMPONENT vx_release)
install(FILES LICENSE DESTINATION . COMPONENT vx_release OPTIONAL)
if(WIN32 AND VX_MINGW_TRIPLE)
  # The statically linked runtimes (mingw-w64 with winpthreads, and GCC's
  # libgcc and libstdc++) ask for their notices to travel with the binary.
  string(REPLACE "_" "-" vx_debian_arch "${CMAKE_SYSTEM_PROCESSOR}")
  if(vx_debian_arch STREQUAL "x86-64")
    set(vx_debian_arch x86-64)
  endif()
  install(FILES /usr/share/doc/mingw-w64-${vx_debian_arch}-dev/copyright
          DESTINATION licenses RENAME mingw-w64-runtime.txt COMPONENT vx_release OPTIONAL)
  install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright
          DESTINATION licenses RENAME gcc-runtime.txt COMPONENT vx_release OPTIONAL)
endif()

if(WIN32 AND CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(vx_platform windows-x64)
elseif(WIN32)
  set(vx_platform windows-x86)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(vx_platform linux-x64)
else()
  set(vx_platform linux-x86)
endif()
set(vx_format zip)
if(NOT WIN32)
  set(vx_format tar.gz)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/vx-package-info.cmake
  "set(VX_PACKAGE_NAME vantorix-launcher-${PROJECT_VERSION}-${vx_platform})\n"
  "set(VX_PACKAGE_FORMAT ${vx_format})\n"
  "set(VX_PACKAGE_HAS_LAUNCHER ${VX_PACKAGE_HAS_LAUNCHER})\n")

# The archive of this build tree in build/<preset>/dist.
add_custom_target(vx_dist
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DOUT_DIR=${CMAKE_BINARY_DIR}/dist
          -P ${CMAKE_SOURCE_DIR}/cmake/Package.cmake
  USES_TERMINAL)
