# Writes the resource table: -DENTRIES=type|name|file,... -DSOURCE_DIR=... -DOUTPUT=...
string(REPLACE "," ";" entries "${ENTRIES}")

# Sixteen bytes to a line (CMake's regular expressions have no {n}).
set(line_pattern "")
foreach(i RANGE 1 16)
  string(APPEND line_pattern "0x[0-9a-f][0-9a-f],")
endforeach()

set(arrays "")
set(rows "")
set(index 0)
foreach(entry IN LISTS entries)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 type)
  list(GET fields 1 name)
  list(GET fields 2 file)
  file(READ "${SOURCE_DIR}/${file}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(${line_pattern})" "\\1\n    " bytes "${bytes}")
  # One extra zero keeps the array non-empty; the size leaves it out.
  string(APPEND arrays "// ${file}\nconst unsigned char kResource${index}[] = {\n    ${bytes}0x00};\n\n")
  string(APPEND rows "    {\"${type}\", \"${name}\", kResource${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()

set(content "// Generated from stationlib/resources by the build; edit the resource files instead.
#include \"base/ResourceTable.h\"

namespace {

${arrays}} // namespace

const ResourceEntry kResourceTable[] = {
${rows}};

const size_t kResourceCount = sizeof(kResourceTable) / sizeof(kResourceTable[0]);
")

file(WRITE "${OUTPUT}" "${content}")
