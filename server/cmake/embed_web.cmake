# Writes OUTPUT, a C++ source holding every file under server/web (WEB_DIR) as bytes, named by its
# path relative to that folder ("pages/reg.htm", "assets/site.css"). Bytes rather than raw
# strings, so that any file (a picture too) is carried exactly.
file(GLOB_RECURSE files RELATIVE ${WEB_DIR} ${WEB_DIR}/*)
list(SORT files)
set(arrays "")
set(table "")
set(n 0)
set(line "")
foreach(i RANGE 1 32)
  string(APPEND line "0x[0-9a-f][0-9a-f],")
endforeach()
foreach(rel ${files})
  file(READ ${WEB_DIR}/${rel} hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # 32 bytes per line, to keep the generated source readable.
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const unsigned char file${n}[] = {\n    ${bytes}0x00};\n")
  string(APPEND table "      {\"${rel}\", std::string_view(reinterpret_cast<const char*>(file${n}), ${size})},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from server/web by embed_web.cmake; do not edit.
#include \"web.h\"

namespace vlt::server {

namespace {
${arrays}}  // namespace

const std::vector<WebFile>& webFiles() {
  static const std::vector<WebFile> files = {
${table}  };
  return files;
}

}  // namespace vlt::server
")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.tmp ${OUTPUT})
