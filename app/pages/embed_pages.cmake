# Each page of app/pages/ becomes one string in the executable: <name>.html is written into a
# generated source as a raw string literal, returned by <function>() declared in app/<name>_page.h.
function(embed_page target name function)
  set(page ${CMAKE_CURRENT_SOURCE_DIR}/pages/${name}.html)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/pages/${name}_page.cpp)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
  file(READ ${page} html)
  string(FIND "${html}" ")DDDPAGE\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${page} holds the end marker of the embedded string")
  endif()
  file(WRITE ${generated}.new
       "#include \"app/${name}_page.h\"\n\nnamespace ddd::app {\n\nstd::string_view ${function}() {\n"
       "    static constexpr const char kHtml[] = R\"DDDPAGE(${html})DDDPAGE\";\n"
       "    return {kHtml, sizeof kHtml - 1};\n}\n\n}  // namespace ddd::app\n")
  file(COPY_FILE ${generated}.new ${generated} ONLY_IF_DIFFERENT)
  target_sources(${target} PRIVATE ${generated})
endfunction()
