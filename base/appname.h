#pragma once

// The program's name towards Qt, the same for the window and the commands
// whatever the executable is called (ombrel, ombrel-sim, a renamed copy):
// Qt derives the data folder from it (~/.local/share/ombrel), so every build
// keeps its runs in one journal.
namespace AppName {

void apply();

// Whether the locale asks for Chinese (LC_ALL, else LC_MESSAGES, else LANG):
// the language of the command line and the Python module, English
// otherwise.
bool chineseLocale();

} // namespace AppName
