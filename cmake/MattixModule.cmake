# The module: one shared library made of the objects of its layers, each
# taken exactly once. It imports the image library and the Windows layer, as
# it does on Windows. Only the entry points and the stdfx members leave it;
# the version script hides everything else, including template code
# instantiated from headers.
set(MATTIX_MODULE_PARTS mattix_stdfx mattix_wheel mattix_filter mattix_key mattix_selection
                        mattix_dibdraw mattix_picker mattix_resources mattix_plugin)

add_library(mattix SHARED ${PROJECT_SOURCE_DIR}/cmake/ModuleAnchor.cpp)
foreach(part IN LISTS MATTIX_MODULE_PARTS)
  if(TARGET ${part})
    target_sources(mattix PRIVATE $<TARGET_OBJECTS:${part}>)
  endif()
endforeach()
target_link_libraries(mattix PRIVATE pixmill mattix_win)
target_link_options(mattix PRIVATE
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/mattix.map ${MATTIX_NO_UNDEFINED})
set_target_properties(mattix PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/mattix.map)

# Installed, the module and the two libraries it imports live together in
# <prefix>/lib/mattix and find each other there; hosts find the module by
# its path (the frei0r plug-in in <prefix>/lib/frei0r-1 looks in ../mattix).
# Plain lib, not a multiarch folder: frei0r hosts look in <prefix>/lib/frei0r-1.
set_target_properties(mattix pixmill mattix_win PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS mattix pixmill mattix_win LIBRARY DESTINATION lib/mattix)
