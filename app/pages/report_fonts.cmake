# The report typeface for PDFs, embedded as report_fonts.css: the faces of Plus Jakarta Sans, which
# has Latin letters only, and for the other letters of European names (Latin Extended, Greek,
# Cyrillic) faces of Debian's DejaVu Sans cut down at build time to one script each. A report then
# loads and embeds only the scripts its text uses; a letter outside all of them falling back to the
# whole system face would put all of that face (700 KB a weight) into every PDF.
# The cut faces join the family under a unicode-range written here from the same list the cuts
# are made from, so that a face and the letters it is asked for never disagree.
find_program(PYFTSUBSET pyftsubset REQUIRED)
set(dejavu_folder /usr/share/fonts/truetype/dejavu)
set(report_fonts_folder ${CMAKE_CURRENT_BINARY_DIR}/report_fonts)
# script name and its code points; the book face serves the weights 400 and 500, the bold one 600 and 700
set(fallback_scripts
    "latin-ext=U+0100-024F,U+1E9E"
    "greek=U+0370-03FF"
    "cyrillic=U+0400-045F,U+0490-0491")
set(report_font_files)
set(report_font_commands)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/pages/report_fonts.css report_fonts_style)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pages/report_fonts.css)
foreach(script_range IN LISTS fallback_scripts)
  string(REPLACE "=" ";" parts "${script_range}")
  list(GET parts 0 script)
  list(GET parts 1 range)
  foreach(face_weight "DejaVuSans=400" "DejaVuSans-Bold=700")
    string(REPLACE "=" ";" face_parts "${face_weight}")
    list(GET face_parts 0 face)
    list(GET face_parts 1 weight)
    set(subset ${report_fonts_folder}/fonts/dejavu-sans-${script}-${weight}.woff2)
    list(APPEND report_font_files ${subset})
    list(APPEND report_font_commands COMMAND ${PYFTSUBSET} ${dejavu_folder}/${face}.ttf --unicodes=${range}
         --flavor=woff2 --output-file=${subset})
  endforeach()
  foreach(weight_face 400=400 500=400 600=700 700=700)
    string(REPLACE "=" ";" weight_parts "${weight_face}")
    list(GET weight_parts 0 weight)
    list(GET weight_parts 1 face_weight)
    string(APPEND report_fonts_style "@font-face{font-family:\"Plus Jakarta Sans\";font-style:normal;font-weight:${weight};"
           "src:url(\"fonts/dejavu-sans-${script}-${face_weight}.woff2\") format(\"woff2\");unicode-range:${range}}\n")
  endforeach()
endforeach()
# Written only when its text changes, so that a new configuration embeds nothing again.
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/report_fonts.css CONTENT "${report_fonts_style}")
file(GLOB jakarta_faces CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pages/fonts/plus-jakarta-sans-*.woff2)
add_custom_command(OUTPUT ${report_fonts_folder}/report_fonts.css ${report_font_files}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${report_fonts_folder}/fonts
                   COMMAND ${CMAKE_COMMAND} -E copy ${jakarta_faces} ${report_fonts_folder}/fonts
                   ${report_font_commands}
                   COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_BINARY_DIR}/report_fonts.css ${report_fonts_folder}
                   DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/report_fonts.css ${jakarta_faces}
                   COMMENT "Cutting the report's fallback faces"
                   VERBATIM)
embed_text(ddd_app_core ${report_fonts_folder}/report_fonts.css app/report_fonts_style.h reportFontsStyle
           ${CMAKE_CURRENT_BINARY_DIR}/pages/report_fonts_style.cpp)
