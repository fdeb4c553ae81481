// The page of a file dropped on the inspector: written beside the file and opened in the user's
// browser, since a window opened by a drop has no command line to ask for it.
#pragma once

#include <string>

#include "run/platform.hpp"

namespace bloktar::inspect {

// The page beside the input: the whole input path followed by ".html".
NativeString PagePathBeside(const NativeChar* input);

// The full path of path as the console shows it: on Windows resolved against the current folder,
// in UTF-8; elsewhere the path's own bytes.
std::string FullPathText(const NativeString& path);

// Opens the page at path in the user's default browser: on Windows, whatever program is
// registered to open it. False when that fails, and on other systems, where the inspector never
// asks for it.
bool OpenInBrowser(const NativeString& path);

}  // namespace bloktar::inspect
