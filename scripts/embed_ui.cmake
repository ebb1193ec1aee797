# Turns the UI definition into a C++ source: the document's bytes, their
# length, and a table that takes the address of every handler the document
# names, so that a handler missing from the program fails the build.
# Usage: cmake -DINPUT=discWren.ui -DOUTPUT=ui_definition.cpp -P embed_ui.cmake
file(READ "${INPUT}" document)
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" hexLength)
math(EXPR length "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
string(REGEX REPLACE "(('[^']+',){24})" "\\1\n    " bytes "${bytes}")

string(REGEX MATCHALL "handler=\"[A-Za-z_][A-Za-z0-9_]*\"" handlers "${document}")
list(TRANSFORM handlers REPLACE "handler=\"([^\"]+)\"" "\\1")
list(REMOVE_DUPLICATES handlers)
set(addresses "")
set(names "")
foreach(handler IN LISTS handlers)
    string(APPEND addresses "    reinterpret_cast<const void*>(&${handler}),\n")
    string(APPEND names "    \"${handler}\",\n")
endforeach()
list(LENGTH handlers count)

# The ids of the document's top-level objects, which are loaded by id.
string(REGEX MATCHALL "\n  <object class=\"[A-Za-z]+\" id=\"[A-Za-z0-9_]+\"" tops "${document}")
list(TRANSFORM tops REPLACE ".* id=\"([^\"]+)\"" "\\1")
set(topIds "")
foreach(top IN LISTS tops)
    string(APPEND topIds "    \"${top}\",\n")
endforeach()
list(LENGTH tops topCount)

file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.
#include \"ui/handlers.h\"
#include \"ui/ui.h\"

const char uiDefinition[] = {
    ${bytes}'\\0'};
const unsigned uiDefinitionLength = ${length};

const void* const uiHandlerAddresses[] = {
${addresses}    nullptr};
const char* const uiHandlerNames[] = {
${names}    nullptr};
const int uiHandlerCount = ${count};

const char* const uiTopLevelIds[] = {
${topIds}    nullptr};
const int uiTopLevelCount = ${topCount};
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
