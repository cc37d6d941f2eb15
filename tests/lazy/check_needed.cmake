# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when the program names, among the libraries loaded as it starts, one that is meant to
# be loaded on first use.
execute_process(COMMAND ${READELF} -d ${PROGRAM} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed OR NOT dynamic MATCHES "NEEDED")
    message(FATAL_ERROR "Could not read the libraries ${PROGRAM} needs")
endif()
foreach(library pq msi archive blkid rpm rpmio xlsxwriter csv minizip secret-1 LIEF gobject-2.0
        Qt6PrintSupport)
    if(dynamic MATCHES "\\[lib${library}\\.so")
        message(FATAL_ERROR "${PROGRAM} loads lib${library} at start-up")
    endif()
endforeach()
