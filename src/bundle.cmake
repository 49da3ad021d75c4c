# Assembles SWFHarvex.bundle in the build tree: Info.json, Resources/ and the plug-in module.
set(HVX_BUNDLE_DIR ${CMAKE_BINARY_DIR}/SWFHarvex.bundle)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/Info.json.in ${HVX_BUNDLE_DIR}/Info.json @ONLY)

file(GLOB HVX_RESOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/*)
# movies/ and icon/ hold what the bundle's movies and icon are made from, not resources.
list(FILTER HVX_RESOURCES EXCLUDE REGEX "(Info\\.json\\.in|/movies|/icon)$")
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

# The companion's icon: the drawing rendered with rsvg-convert (Debian's librsvg2-bin) at 128, 256
# and 512 px and packed, PNG files unchanged, as the ICNS entries ic07, ic08 and ic09.
find_program(HVX_RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_source ${CMAKE_CURRENT_SOURCE_DIR}/resources/icon/DissectaLogo.svg)
set(icon_output ${HVX_BUNDLE_DIR}/Resources/DissectaLogo.icns)
set(icon_work ${CMAKE_CURRENT_BINARY_DIR}/icon)
set(icon_pngs)
set(icon_entries)
foreach(entry ic07:128 ic08:256 ic09:512)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 type)
  list(GET entry 1 size)
  set(png ${icon_work}/DissectaLogo-${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_work}
    COMMAND ${HVX_RSVG_CONVERT} --width=${size} --height=${size} --format=png
      --output=${png} ${icon_source}
    DEPENDS ${icon_source}
    VERBATIM)
  list(APPEND icon_pngs ${png})
  list(APPEND icon_entries ${type} ${png})
endforeach()
add_custom_command(OUTPUT ${icon_output}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${HVX_BUNDLE_DIR}/Resources
  COMMAND $<TARGET_FILE:icnspack> ${icon_output} ${icon_entries}
  DEPENDS icnspack ${icon_pngs}
  COMMENT "Packing DissectaLogo.icns from its drawing"
  VERBATIM)
list(APPEND HVX_BUNDLED_RESOURCES ${icon_output})

# The whole plug-in goes into the module, which links the platform's shared library.
add_library(SWFHarvex MODULE ${CMAKE_CURRENT_SOURCE_DIR}/host/BundleEntry.cpp)
target_link_libraries(SWFHarvex PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,hvx_plugin>")
set_target_properties(SWFHarvex PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${HVX_BUNDLE_DIR})

add_custom_target(SWFHarvexBundle ALL DEPENDS SWFHarvex ${HVX_BUNDLED_RESOURCES})
