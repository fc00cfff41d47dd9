include(GNUInstallDirs)

# tcpipset_install_compressed(FILE DESTINATION): installs FILE (beside the calling
# CMakeLists.txt) compressed as FILE.gz into DESTINATION, as Debian's packages ship manual
# pages and changelogs and as man reads them. gzip -n leaves out the name and time, so
# that every build writes the same bytes.
function(tcpipset_install_compressed file destination)
    get_filename_component(name ${file} NAME)
    set(source ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
    add_custom_command(
        OUTPUT ${compressed}
        COMMAND gzip -9 -n -c ${source} > ${compressed}
        DEPENDS ${source}
        COMMENT "Compressing ${name}")
    add_custom_target(compressed_${name} ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${destination})
endfunction()
