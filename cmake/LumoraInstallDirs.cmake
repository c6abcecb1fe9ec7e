# Where an installed tree keeps its parts below the prefix (GNUInstallDirs layout), and the
# relative paths between them: the installed tree runs from any prefix.
set(LUMORA_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/tavrin/plugins)
set(LUMORA_INSTALL_TEMPLATEDIR ${CMAKE_INSTALL_DATADIR}/tavrin/calibration)

function(lumora_relative_install_path out from to)
    set(prefix ${CMAKE_INSTALL_PREFIX})
    foreach(dir from to)
        if(IS_ABSOLUTE "${${dir}}")
            set(${dir}_full "${${dir}}")
        else()
            set(${dir}_full "${prefix}/${${dir}}")
        endif()
    endforeach()
    file(RELATIVE_PATH path "${from_full}" "${to_full}")
    string(REGEX REPLACE "/$" "" path "${path}")
    set(${out} "${path}" PARENT_SCOPE)
endfunction()

# Looked up by the host from its own folder.
lumora_relative_install_path(LUMORA_BIN_TO_PLUGINDIR ${CMAKE_INSTALL_BINDIR}
                             ${LUMORA_INSTALL_PLUGINDIR})
lumora_relative_install_path(LUMORA_BIN_TO_TEMPLATEDIR ${CMAKE_INSTALL_BINDIR}
                             ${LUMORA_INSTALL_TEMPLATEDIR})
