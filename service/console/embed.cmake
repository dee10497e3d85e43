# Turns the console's files into a C++ source of byte arrays, so that the
# service carries its page and needs no files beside it:
#   cmake -DOUT=console_files.cpp -DFILES="a.html;b.js" -P embed.cmake
set(corpo "// Made by service/console/embed.cmake from service/console/: edit those files.\n#include \"console.h\"\n\nnamespace vltxd {\nnamespace {\n")
set(tabela "")
set(n 0)
foreach(f ${FILES})
  get_filename_component(nome ${f} NAME)
  file(READ ${f} hex HEX)
  string(LENGTH "${hex}" tamanho)
  math(EXPR tamanho "${tamanho} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND corpo "const unsigned char Arquivo${n}[] = {${bytes}0};\n")
  string(APPEND tabela "        {\"${nome}\", Arquivo${n}, ${tamanho}},\n")
  math(EXPR n "${n} + 1")
endforeach()
string(APPEND corpo "}  // namespace\n\nconst std::vector<ConsoleFile>& ConsoleFiles() {\n    static const std::vector<ConsoleFile> files = {\n${tabela}    };\n    return files;\n}\n\n}  // namespace vltxd\n")
file(WRITE ${OUT}.tmp "${corpo}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
