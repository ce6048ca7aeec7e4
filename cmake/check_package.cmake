# Makes the .deb of BUILD_DIR in OUT and checks it: its Depends line, which dpkg-shlibdeps derives,
# names the Qt libraries the programs link; it holds the files Debian's checks do not ask for; its
# changelog's latest entry is its version; lintian finds no error and no warning in it.
include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)

file(REMOVE_RECURSE ${OUT})
run_checked(ignored ${CMAKE_CPACK_COMMAND} -G DEB -B ${OUT} --config ${BUILD_DIR}/CPackConfig.cmake)
file(GLOB deb ${OUT}/*.deb)
run_checked(depends dpkg-deb -f ${deb} Depends)
string(STRIP "${depends}" depends)
foreach(lib libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6svg6)
  if(NOT depends MATCHES "(^| )${lib}([ ,]|$)")
    message(FATAL_ERROR "Depends lacks ${lib}: ${depends}")
  endif()
endforeach()
run_checked(contents dpkg-deb -c ${deb})
foreach(file usr/bin/qlxcopy usr/bin/qlxrender usr/share/applications/qlxcopy.desktop
    usr/share/metainfo/io.github.qlxcopy.qlxcopy.metainfo.xml usr/share/bash-completion/completions/qlxctl
    usr/share/bash-completion/completions/qlxrender)
  if(NOT contents MATCHES "\\./${file}\n")
    message(FATAL_ERROR "${deb} lacks ${file}")
  endif()
endforeach()

run_checked(version dpkg-deb -f ${deb} Version)
run_checked(latest dpkg-parsechangelog -l ${SOURCE_DIR}/CHANGELOG -S Version)
string(STRIP "${version}" version)
string(STRIP "${latest}" latest)
if(NOT version STREQUAL latest)
  message(FATAL_ERROR "the package is ${version}, but CHANGELOG's latest entry is ${latest}")
endif()

run_checked(ignored lintian --fail-on error,warning ${deb})
