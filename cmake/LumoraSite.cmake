# The build's site folder: lumora-site mirrors the calibration-root template (reference tools
# and pose data) below it, after every program of the template is built.

# Executables below dir (recursively) that are built into the template. One still aimed at the
# site's calibration root is moved to the same place in the template.
function(lumora_template_programs dir out)
    set(found)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
        string(FIND "${folder}/" "${LUMORA_CALIBRATION_ROOT}/" at)
        if(at EQUAL 0)
            string(REPLACE "${LUMORA_CALIBRATION_ROOT}" "${LUMORA_SITE_TEMPLATE}" folder "${folder}")
            set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${folder})
        endif()
        if(type STREQUAL "EXECUTABLE" AND folder)
            string(FIND "${folder}/" "${LUMORA_SITE_TEMPLATE}/" at)
            if(at EQUAL 0)
                list(APPEND found ${target})
            endif()
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        lumora_template_programs(${subdir} below)
        list(APPEND found ${below})
    endforeach()
    set(${out} ${found} PARENT_SCOPE)
endfunction()

lumora_template_programs(${PROJECT_SOURCE_DIR} LUMORA_TEMPLATE_PROGRAMS)

add_custom_target(lumora-site ALL
    COMMAND ${CMAKE_COMMAND} -DFROM=${LUMORA_SITE_TEMPLATE} -DTO=${LUMORA_CALIBRATION_ROOT}
            -P ${PROJECT_SOURCE_DIR}/cmake/copytree.cmake
    COMMENT "Laying out the calibration root in the site folder"
    VERBATIM)
if(LUMORA_TEMPLATE_PROGRAMS)
    add_dependencies(lumora-site ${LUMORA_TEMPLATE_PROGRAMS})
endif()
