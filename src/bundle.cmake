# Assembles SWFHarvex.bundle in the build tree: Info.json, Resources/ and the plug-in module.
set(HVX_BUNDLE_DIR ${CMAKE_BINARY_DIR}/SWFHarvex.bundle)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/Info.json.in ${HVX_BUNDLE_DIR}/Info.json @ONLY)

file(GLOB HVX_RESOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/*)
# movies/ holds the descriptions the bundle's movies are written from, not resources.
list(FILTER HVX_RESOURCES EXCLUDE REGEX "(Info\\.json\\.in|/movies)$")
set(HVX_BUNDLED_RESOURCES)
foreach(resource ${HVX_RESOURCES})
  get_filename_component(name ${resource} NAME)
  add_custom_command(OUTPUT ${HVX_BUNDLE_DIR}/Resources/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${resource} ${HVX_BUNDLE_DIR}/Resources/${name}
    DEPENDS ${resource})
  list(APPEND HVX_BUNDLED_RESOURCES ${HVX_BUNDLE_DIR}/Resources/${name})
endforeach()

# The pages' movies, written by swfmovie (tools/swfmovie) from their descriptions.
foreach(movie SWFBrowser AdBrowser)
  set(description ${CMAKE_CURRENT_SOURCE_DIR}/resources/movies/${movie}.json)
  set(output ${HVX_BUNDLE_DIR}/Resources/${movie}.swf)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${HVX_BUNDLE_DIR}/Resources
    COMMAND $<TARGET_FILE:swfmovie> ${description} -o ${output}
    DEPENDS swfmovie ${description}
    COMMENT "Writing ${movie}.swf from its description"
    VERBATIM)
  list(APPEND HVX_BUNDLED_RESOURCES ${output})
endforeach()

# The whole plug-in goes into the module, which links the platform's shared library.
add_library(SWFHarvex MODULE ${CMAKE_CURRENT_SOURCE_DIR}/host/BundleEntry.cpp)
target_link_libraries(SWFHarvex PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,hvx_plugin>")
set_target_properties(SWFHarvex PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${HVX_BUNDLE_DIR})

add_custom_target(SWFHarvexBundle ALL DEPENDS SWFHarvex ${HVX_BUNDLED_RESOURCES})
