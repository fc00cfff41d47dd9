include(GNUInstallDirs)

# tcpipset_install_man_page(PAGE): installs the manual page PAGE (section 1, beside the
# calling CMakeLists.txt) compressed, as Debian's packages ship them and man reads them.
# gzip -n leaves out the name and time, so that every build writes the same bytes.
function(tcpipset_install_man_page page)
    get_filename_component(name ${page} NAME)
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/${page})
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(
        OUTPUT ${compressed}
        COMMAND gzip -9 -n -c ${source} > ${compressed}
        DEPENDS ${source}
        COMMENT "Compressing the manual page ${name}")
    add_custom_target(man_page_${name} ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
