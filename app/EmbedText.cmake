# cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=Name -DHEADER=dir/Header.h -P EmbedText.cmake
# Writes OUTPUT: a C++ source defining `std::string_view FUNCTION()` that returns INPUT's bytes
# exactly (no text conversion), so a resource file is compiled into the program unchanged.
file(READ "${INPUT}" content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} by EmbedText.cmake; do not edit.
#include \"${HEADER}\"

namespace {
// A trailing zero keeps the array non-empty for an empty file; it is not part of the text.
const unsigned char kBytes[] = {
    ${bytes}0x00};
} // namespace

std::string_view ${FUNCTION}() {
    return {reinterpret_cast<const char*>(kBytes), sizeof(kBytes) - 1};
}
")
# Only a changed text rebuilds what depends on it.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
