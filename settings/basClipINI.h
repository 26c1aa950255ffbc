// The settings file CNT\Tessary.ini beside the program, and the settings shared by the program.
#pragma once

#include <string>
#include <string_view>

// Filled at start-up and refreshed after each save of the settings dialog.
extern std::wstring DispSize; // display size that opens by itself, "42ｲﾝﾁ", "57ｲﾝﾁ" or "65ｲﾝﾁ"
extern std::wstring PaperSize;   // "A3", "A4", "B4" or "B5"
extern std::wstring PrintCopies; // number of copies, as text
extern std::wstring IniPath;     // full path of the settings file

// Folder part of a module path: no trailing separator, except at a drive root ("C:\").
std::wstring FolderOf(std::wstring_view modulePath);
// Folder of the running executable, as FolderOf gives it.
std::wstring ProgramFolder();
// folder + "\CNT\Tessary.ini", with no test of separators: a drive root gives "C:\\CNT\...",
// which the file functions accept.
std::wstring JoinIniPath(std::wstring_view folder);
std::wstring BuildIniPath();

// Creates the folder of IniPath (CNT) when it is missing: the profile writer creates files but
// never folders. Returns whether the folder is there.
bool MakeSettingsFolder();
// The platform's folder creation; a test can stand in the path limits of Windows, which Wine
// does not have.
extern bool (*CreateFolder)(const std::wstring &path);

// The file is in code page 932, unless it starts with a byte-order mark: then it is UTF-16 (as the
// platform's profile functions take it) or UTF-8, and is saved in that encoding again.

// Reads the file at IniPath afresh. Each argument gets its stored value, or its default
// ("42ｲﾝﾁ", "A4", "1") when the value is empty or missing; a file that cannot be read counts as
// missing.
void ReadSettings(std::wstring &dispSize, std::wstring &paperSize, std::wstring &copies);

// Stores the three values, each without leading and trailing spaces, into the file at IniPath.
// The file is replaced as a whole (new content written beside it, then renamed over it), so it is
// never left half written. Never creates a folder. Returns true when the new content is in place;
// when the content would not change, the file is left untouched and the result is true. An
// existing file that cannot be read, or a read-only one, is left as it is and gives false.
bool WriteSettings(const std::wstring &dispSize, const std::wstring &paperSize,
                   const std::wstring &copies);
