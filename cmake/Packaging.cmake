# What a user installs. Component "plugin": the DLL with its debug information, the README
# with the dialogs' pictures and a sample configuration file. Component "tools": the
# simulation server with its demonstration data file, the server list, their proxy/stub DLL,
# the command-line host and the scripts that register them. `cmake --install <build>
# [--component plugin|tools] --prefix <folder>` lays them out; scripts/package.sh makes the zip.
set(kesti_tools_dir tools)

install(FILES $<TARGET_FILE:OpcHDAKesti> DESTINATION . COMPONENT plugin)
if(MSVC)
  install(FILES $<TARGET_PDB_FILE:OpcHDAKesti> DESTINATION . COMPONENT plugin OPTIONAL)
elseif(CMAKE_OBJCOPY AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo)$")
  install(FILES $<TARGET_FILE:OpcHDAKesti>.debug DESTINATION . COMPONENT plugin)
endif()
install(FILES README.md DESTINATION . COMPONENT plugin)
install(DIRECTORY docs/ DESTINATION docs COMPONENT plugin FILES_MATCHING PATTERN "*.png")
install(FILES packaging/OPCHDAConfiguration.xml DESTINATION samples COMPONENT plugin)

foreach(tool kesti-host opchda-sim opc-serverlist kesti-opc-ps)
  if(TARGET ${tool})
    install(FILES $<TARGET_FILE:${tool}> DESTINATION ${kesti_tools_dir} COMPONENT tools)
  endif()
endforeach()
if(TARGET opchda-sim)
  install(FILES tools/opchda-sim/opchda-sim.json tools/opchda-sim/README.md
                packaging/register-tools.cmd packaging/unregister-tools.cmd
          DESTINATION ${kesti_tools_dir} COMPONENT tools)
endif()

set(CPACK_PACKAGE_NAME OpcHDAKesti)
set(CPACK_PACKAGE_VENDOR Norvane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OPC HDA data-source plug-in (64-bit Windows DLL)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME OpcHDAKesti-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF) # one zip, both components
set(CPACK_COMPONENTS_ALL plugin tools)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
cpack_add_component(plugin DISPLAY_NAME "OpcHDAKesti plug-in" REQUIRED)
cpack_add_component(tools DISPLAY_NAME "Simulation tools"
  DESCRIPTION "A simulation OPC HDA server, the OPC server list, their proxy/stub and a command-line host")
