# cmake --install: host and controller simulator in bin/, the runtime library in lib/, the
# plug-in in the folder the host searches, the reference tools and pose data as the site
# template in share/. RPATHs are relative, so the tree runs from any prefix.
lumora_relative_install_path(bin_to_lib ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR})
lumora_relative_install_path(plugins_to_lib ${LUMORA_INSTALL_PLUGINDIR} ${CMAKE_INSTALL_LIBDIR})
set_target_properties(tavrin-host robot-controller-sim PROPERTIES
    INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
set_target_properties(lumoracalibration PROPERTIES INSTALL_RPATH "$ORIGIN/${plugins_to_lib}")

install(TARGETS tavrin-host robot-controller-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tavrin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS lumoracalibration LIBRARY DESTINATION ${LUMORA_INSTALL_PLUGINDIR})

foreach(program IN LISTS LUMORA_TEMPLATE_PROGRAMS)
    get_target_property(folder ${program} RUNTIME_OUTPUT_DIRECTORY)
    file(RELATIVE_PATH below ${LUMORA_SITE_TEMPLATE} ${folder})
    install(TARGETS ${program} RUNTIME DESTINATION ${LUMORA_INSTALL_TEMPLATEDIR}/${below})
endforeach()
# Data files of the template; its programs come from the rules above.
install(DIRECTORY ${LUMORA_SITE_TEMPLATE}/ DESTINATION ${LUMORA_INSTALL_TEMPLATEDIR}
        PATTERN "*.exe" EXCLUDE)
