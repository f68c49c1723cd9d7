# Each page of app/pages/ becomes one string in the executable: the build tool embed_page writes
# <name>.html, with the scripts it names beside it (vehicle_view.js, long_table.js) inlined and
# the files it references (the fonts in fonts/) as data: URIs, into a generated source as a raw
# string literal, returned by <function>() declared in app/<name>_page.h.
# A script or style sheet is embedded with embed_text directly.
file(GLOB page_assets CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pages/fonts/*.woff2 ${CMAKE_CURRENT_SOURCE_DIR}/pages/*.js)

function(embed_text target source header function generated)
  add_custom_command(OUTPUT ${generated}
                     COMMAND embed_page ${source} ${header} ${function} ${generated}
                     DEPENDS embed_page ${source} ${page_assets}
                     COMMENT "Embedding ${source}"
                     VERBATIM)
  target_sources(${target} PRIVATE ${generated})
endfunction()

function(embed_page target name function)
  embed_text(${target} ${CMAKE_CURRENT_SOURCE_DIR}/pages/${name}.html app/${name}_page.h ${function}
             ${CMAKE_CURRENT_BINARY_DIR}/pages/${name}_page.cpp)
endfunction()
