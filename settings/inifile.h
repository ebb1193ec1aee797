// INI text of the settings file: parsing into an iniparser dictionary,
// the written form of values, the file layout, and safe replacement.
#pragma once

#include <iniparser.h>

#include <string>

// Parses an INI file into a dictionary of "section:key" entries (and one
// "section" entry per section). Lines of any length are read; a line that is
// neither a section, a key line nor a comment is skipped on its own; LF,
// CR LF and a lone CR each end a line. Keys and sections are lower-cased; an
// unquoted value ends before ';' or '#' and loses its edge blanks; a value quoted with " or ' is
// taken as it stands between the quotes. A key whose value is empty is not entered. Returns nullptr
// when the file cannot be opened or is a folder; free the result with iniparser_freedict.
dictionary* iniLoad(const char* path);

// The form in which value is written so that iniLoad gives it back intact:
// the value itself, or the value in double quotes (single quotes when it
// holds a double quote). False when no form can carry it (a line break, or
// both kinds of quote where quoting is needed).
bool iniEncodeValue(const char* value, std::string* written);

// Drops the blanks and backslashes at the end of text while iniEncodeValue
// cannot carry it. Only a text holding both kinds of quote can end that way
// (when a field's width cut it, or an unquoted value ended in '\\'); it then
// survives the next write instead of being left out.
void iniMakeWritable(std::string* text);

// The file text of a dictionary, entries in insertion order: for each section
// "\n[section]\n", then "%-30s = %s\n" per key, then one final "\n".
std::string iniFormat(const dictionary* dict);

// Replaces the file at path (following symbolic links to the file they name)
// with bytes: a temporary file in the same folder is written, flushed to disk
// and renamed over the old one, which keeps its permission bits. The old file
// stays whole whenever this fails. An existing file that the user may not
// write to (access W_OK) is refused with EACCES. 0 on success, -1 with errno
// set on failure.
int iniReplaceFile(const char* path, const std::string& bytes);
