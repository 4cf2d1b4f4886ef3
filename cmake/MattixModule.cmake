# The module: one shared library built from the layers' static libraries.
# Only the entry points and the stdfx members leave it; the version script
# hides everything else, including template code instantiated from headers.
set(MATTIX_MODULE_PARTS)
foreach(part IN ITEMS mattix_stdfx mattix_filter mattix_key mattix_selection
                      mattix_picker mattix_resources mattix_plugin)
  if(TARGET ${part})
    list(APPEND MATTIX_MODULE_PARTS ${part})
  endif()
endforeach()

add_library(mattix SHARED ${PROJECT_SOURCE_DIR}/cmake/ModuleAnchor.cpp)
target_link_libraries(mattix PRIVATE
  "$<LINK_LIBRARY:WHOLE_ARCHIVE,${MATTIX_MODULE_PARTS}>")
# The image library is imported, as the module imports it on Windows.
if(TARGET pixmill)
  target_link_libraries(mattix PRIVATE pixmill)
endif()
target_link_options(mattix PRIVATE
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/mattix.map -Wl,--no-undefined)
set_target_properties(mattix PROPERTIES LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/mattix.map)
