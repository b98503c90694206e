# The Debian packages, built by CPack (scripts/package): "zelvan" (the
# server, the client, the journal view, the service, the sample configuration,
# log rotation and the directories under /var/opt/zelvan) and "zelvan-crm-sim"
# (the CRM simulator, for integrators' test benches). The install rules lay
# the files out from the root of a station's file system.
set(pkg ${PROJECT_SOURCE_DIR}/packaging)
# Installing (and so cpack) does not build everything first: scripts/package
# builds the packaged programs, the tests package what the build made.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(ZELVAN_PACKAGE_MAINTAINER "zelvan developers <zelvan@example.com>"
    CACHE STRING "Maintainer named in the Debian packages")
set(ZELVAN_PACKAGE_SOURCE zelvan)
# The changelog entry's date: the build's, or SOURCE_DATE_EPOCH's when set.
string(TIMESTAMP ZELVAN_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP ZELVAN_PACKAGE_YEAR "%Y" UTC)

# Packaged directories and files are root's, readable by all, whatever the
# builder's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(file_mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The documentation every package carries: copyright and the changelog,
# compressed as Debian wants it (no name, no time stamp in the gzip header).
set(doc_dir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${pkg}/copyright.in ${doc_dir}/copyright @ONLY)
configure_file(${pkg}/changelog.in ${doc_dir}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${doc_dir}/changelog RESULT_VARIABLE gzip_failed)
if(gzip_failed)
    message(FATAL_ERROR "gzip of the package changelog failed")
endif()
foreach(comp zelvan crmsim)
    if(comp STREQUAL zelvan)
        set(name zelvan)
    else()
        set(name zelvan-crm-sim)
    endif()
    install(FILES ${doc_dir}/copyright ${doc_dir}/changelog.gz DESTINATION usr/share/doc/${name}
            PERMISSIONS ${file_mode} COMPONENT ${comp})
endforeach()

install(TARGETS zelvan-server zelvan-cli zelvan-journal RUNTIME DESTINATION usr/bin
        COMPONENT zelvan)
install(PROGRAMS ${pkg}/zelvan-server-start DESTINATION usr/lib/zelvan COMPONENT zelvan)
install(FILES ${pkg}/zelvan-server.service DESTINATION lib/systemd/system
        PERMISSIONS ${file_mode} COMPONENT zelvan)
install(FILES ${pkg}/tmpfiles.conf DESTINATION usr/lib/tmpfiles.d RENAME zelvan.conf
        PERMISSIONS ${file_mode} COMPONENT zelvan)
install(FILES ${pkg}/zelvan.conf DESTINATION etc/opt/zelvan PERMISSIONS ${file_mode}
        COMPONENT zelvan)
install(FILES ${pkg}/zelvan.logrotate DESTINATION etc/logrotate.d RENAME zelvan
        PERMISSIONS ${file_mode} COMPONENT zelvan)
install(FILES ${pkg}/lintian-overrides DESTINATION usr/share/lintian/overrides RENAME zelvan
        PERMISSIONS ${file_mode} COMPONENT zelvan)
install(DIRECTORY DESTINATION var/opt/zelvan/db COMPONENT zelvan)
install(DIRECTORY DESTINATION var/opt/zelvan/log COMPONENT zelvan)
install(DIRECTORY DESTINATION var/opt/zelvan/run COMPONENT zelvan)

install(TARGETS zelvan-crm-sim RUNTIME DESTINATION usr/bin COMPONENT crmsim)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ZELVAN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL zelvan crmsim)
set(CPACK_COMPONENTS_GROUPING IGNORE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZELVAN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_ZELVAN_PACKAGE_NAME zelvan)
set(CPACK_DEBIAN_ZELVAN_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_ZELVAN_PACKAGE_RECOMMENDS logrotate)
set(CPACK_DEBIAN_ZELVAN_PACKAGE_CONTROL_EXTRA
    ${pkg}/conffiles ${pkg}/postinst ${pkg}/prerm ${pkg}/postrm)
set(CPACK_COMPONENT_ZELVAN_DESCRIPTION
    "loyalty gateway between filling-station POS terminals and the loyalty CRM\n\
zelvan-server answers the JSON commands of the station's POS terminals,\n\
calls the loyalty CRM over SOAP, journals every purchase in SQLite and sends\n\
offline work later in batches. The package holds the server and its systemd\n\
service, the line client zelvan-cli, the journal view zelvan-journal, the\n\
sample configuration /etc/opt/zelvan/zelvan.conf and log rotation.")

set(CPACK_DEBIAN_CRMSIM_PACKAGE_NAME zelvan-crm-sim)
set(CPACK_COMPONENT_CRMSIM_DESCRIPTION
    "CRM simulator for testing zelvan installations\n\
zelvan-crm-sim answers the loyalty CRM's SOAP operations in its place, over\n\
HTTP or HTTPS on the loopback interface, with scriptable replies, faults,\n\
delays and dropped connections, and records every request it receives.\n\
It is meant for the test benches of POS integrators.")

include(CPack)
