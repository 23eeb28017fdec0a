# Runs at install time (see CMakeLists.txt), when CMAKE_INSTALL_PREFIX is the
# prefix really installed into. DESTDIR is added by file(INSTALL) itself and
# must stay out of the paths written into the files.
foreach(dir BINDIR DATADIR LIBEXECDIR MANDIR)
    if(IS_ABSOLUTE "${ORVEL_${dir}}")
        set(full_${dir} "${ORVEL_${dir}}")
    else()
        set(full_${dir} "${CMAKE_INSTALL_PREFIX}/${ORVEL_${dir}}")
    endif()
endforeach()

set(ORVEL_PKGDATADIR "${full_DATADIR}/orvel")
set(launcher_dir "${full_LIBEXECDIR}/orvel")
set(ORVEL_LAUNCHER "${launcher_dir}/orvel-launch")
file(RELATIVE_PATH ORVEL_LAUNCHER_TO_DATA "${launcher_dir}" "${ORVEL_PKGDATADIR}")
file(RELATIVE_PATH ORVEL_LAUNCHER_TO_BIN "${launcher_dir}" "${full_BINDIR}")

# One work folder per prefix, so that installs to different prefixes from
# the same build (a test and a package, say) do not overwrite each other's files.
string(MD5 prefix_hash "${CMAKE_INSTALL_PREFIX}")
set(work "${ORVEL_WORK}/${prefix_hash}")
file(MAKE_DIRECTORY "${work}")

configure_file("${ORVEL_SRC}/${ORVEL_APP_ID}.desktop.in" "${work}/${ORVEL_APP_ID}.desktop" @ONLY)
configure_file("${ORVEL_SRC}/${ORVEL_APP_ID}.metainfo.xml.in" "${work}/${ORVEL_APP_ID}.metainfo.xml" @ONLY)
configure_file("${ORVEL_SRC}/orvel-launch.in" "${work}/orvel-launch" @ONLY)
configure_file("${ORVEL_SRC}/orvel.1.in" "${work}/orvel.1" @ONLY)

# Debian wants manuals compressed without a timestamp.
execute_process(COMMAND gzip -9 -n -c "${work}/orvel.1" OUTPUT_FILE "${work}/orvel.1.gz"
                RESULT_VARIABLE gzip_result)
if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip orvel.1: ${gzip_result}")
endif()

file(INSTALL DESTINATION "${full_DATADIR}/applications" TYPE FILE
     FILES "${work}/${ORVEL_APP_ID}.desktop")
file(INSTALL DESTINATION "${full_DATADIR}/metainfo" TYPE FILE
     FILES "${work}/${ORVEL_APP_ID}.metainfo.xml")
file(INSTALL DESTINATION "${launcher_dir}" TYPE PROGRAM FILES "${work}/orvel-launch")
file(INSTALL DESTINATION "${full_MANDIR}/man1" TYPE FILE FILES "${work}/orvel.1.gz")
