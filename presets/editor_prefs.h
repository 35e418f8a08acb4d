// Editor preferences: small choices of the editor (its grid, its zoom) that
// outlive one editor and one project, kept as "key = value" lines in
// editor.conf beside the user preset folder. Main thread only.
#pragma once

#include <map>
#include <string>

namespace norvale {

// <folder holding the user preset folder>/editor.conf, from the same
// environment as userPresetDir; "" when the environment names none.
std::string editorPrefsPath();

// Every key of the file. A missing, unreadable or damaged file gives what
// could be read (often nothing): the editor then uses its defaults, and the
// user is never told.
std::map<std::string, std::string> loadEditorPrefs();

// Sets one key, keeps the others, and replaces the file atomically. A key is
// a non-empty word of letters, digits, "_", "-" and "."; a value is one line.
// False with a reason in err when the key or value is refused or the file
// cannot be written.
bool saveEditorPref(const std::string& key, const std::string& value, std::string& err);

} // namespace norvale
