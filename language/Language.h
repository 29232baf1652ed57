// Texts by number from the language resource library.
#pragma once

// Loads the library for the language code from the folder: folder + "quen6aux_" + code + ".dll",
// and when that fails the generic folder + "quen6aux_lang.dll"; with an empty code only the
// generic name is tried. The folder is put in front unchanged (it should end in a backslash);
// an empty folder stands for ".\". A null pointer counts as an empty string. Every attempt
// replaces the one library handle of the process, and nothing is ever unloaded.
// Returns true when a library is loaded.
bool LoadLanguageDll(const char* folder, const char* code);

// The text of that number in the loaded library, cut to 511 bytes, in the system's ANSI code
// page; empty when no library is loaded or it holds no such text. Always the same buffer, which
// the next call overwrites: copy the text at once.
const char* LoadLangString(int number);
