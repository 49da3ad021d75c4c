# include() with INPUT, OUTPUT and SYMBOL set (or cmake -D... -P EmbedText.cmake).
# Writes a C++ source defining `extern const char* const SYMBOL` as the input file's text, so a
# script ships inside the program and is still edited, linted and read as a script.
file(READ ${INPUT} content)
file(WRITE ${OUTPUT}.part
  "// Generated from ${INPUT}; edit that file.\n"
  "extern const char* const ${SYMBOL};\n"
  "const char* const ${SYMBOL} = R\"swfharvex_embed(${content})swfharvex_embed\";\n")
# Rewritten only when it changed, so an unchanged script costs no rebuild.
file(COPY_FILE ${OUTPUT}.part ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.part)
