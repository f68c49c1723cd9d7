# Each page of app/pages/ becomes one string in the executable: the build tool embed_page writes
# <name>.html, with the files it references (the fonts in fonts/) inlined as data: URIs, into a
# generated source as a raw string literal, returned by <function>() declared in app/<name>_page.h.
file(GLOB page_assets CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pages/fonts/*.woff2)

function(embed_page target name function)
  set(page ${CMAKE_CURRENT_SOURCE_DIR}/pages/${name}.html)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/pages/${name}_page.cpp)
  add_custom_command(OUTPUT ${generated}
                     COMMAND embed_page ${page} app/${name}_page.h ${function} ${generated}
                     DEPENDS embed_page ${page} ${page_assets}
                     COMMENT "Embedding the ${name} page"
                     VERBATIM)
  target_sources(${target} PRIVATE ${generated})
endfunction()
