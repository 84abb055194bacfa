# Writes OUTPUT, a C++ source holding every server/schema/<schema>/*.sql file as a string.
file(GLOB_RECURSE files RELATIVE ${SCHEMA_DIR} ${SCHEMA_DIR}/*.sql)
list(SORT files)
set(body "")
foreach(rel ${files})
  file(READ ${SCHEMA_DIR}/${rel} text)
  string(FIND "${text}" ")vltsql\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${rel} contains the raw-string terminator")
  endif()
  get_filename_component(schema ${rel} DIRECTORY)
  get_filename_component(name ${rel} NAME)
  string(APPEND body "    {\"${schema}\", \"${name}\", R\"vltsql(${text})vltsql\"},\n")
endforeach()
file(WRITE ${OUTPUT}.tmp "// Generated from server/schema by embed_schema.cmake; do not edit.
#include \"schema_files.h\"

namespace vlt::server {

const std::vector<SchemaFile>& schemaFiles() {
  static const std::vector<SchemaFile> files = {
${body}  };
  return files;
}

}  // namespace vlt::server
")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.tmp ${OUTPUT})
