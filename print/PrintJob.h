// Printing the clipboard picture on the default printer: through a temporary BMP file beside the
// program, one stretched page, the printer settings kept from one print to the next.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace print {

enum class PrintResult {
    Printed,
    NoPicture,      // the clipboard offers no picture
    BadPicture,     // the clipboard could not be opened, or its picture is unusable
    FileNotWritten, // the temporary file could not be written
    FileNotRead,    // the temporary file could not be read back as the picture
    NoPrinter,      // there is no default printer, or its settings could not be read
    BadCopies,      // the number of copies lies outside -32768..32767
    PrintFailed,    // the printer refused the settings or the job
    TooLarge,       // the picture needs more memory than the process can get
};

constexpr short kPortrait = DMORIENT_PORTRAIT;
constexpr short kLandscape = DMORIENT_LANDSCAPE;

// Paper code for a paper-size setting: "A3" 8, "A4" 9, "B4" 12, "B5" 13, compared exactly (case
// and blanks count); 0 for any other text, which leaves the printer's paper as it is.
short PaperCode(std::wstring_view paperSize);

// One print of what the clipboard holds now: the picture is saved to folder + "\" +
// "yymmddhhmmss.BMP" (from `now`; the path goes to *printFile before anything else happens, and
// again for each later second's name taken while another copy of the program holds the name),
// the printer's paper, copies and orientation are set, the picture is read back from the file
// and drawn over the printable area, and the document is ended. Then our temporary files in the
// folder are deleted (twelve digits and ".bmp"; other .bmp files stay). On failure the job is
// aborted and this print's file removed. No window message is processed while it runs.
PrintResult PrintClipboard(short orientation, const std::wstring &folder,
                           const std::wstring &paperSize, const std::wstring &copies,
                           const SYSTEMTIME &now, std::wstring *printFile = nullptr);

// For tests: called inside every print once its file is written, where a printer driver's own
// dialog or a clipboard owner's delayed rendering would let messages run.
inline void (*InsideJob)() = nullptr;

// The Japanese message for a failed print; nullptr for Printed.
const wchar_t *FailureText(PrintResult result);

// Deletes the files of `folder` whose names are our temporary names. Returns false when one of
// them could not be deleted.
bool DeleteTempFiles(const std::wstring &folder);

// Tests stand in here for another copy of the program: called with this print's temporary file
// written and still open, just before it is read back. Null in the program.
inline void (*BeforeReadBack)() = nullptr;

// The printer settings that the run keeps (for tests): the default printer they belong to and
// the fields the next print starts from.
struct HeldSettings {
    bool held = false;
    std::wstring printer;
    short paperSize = 0, copies = 0, orientation = 0;
};
HeldSettings CurrentSettings();
// Forgets the kept settings; the next print starts again from the printer's own.
void ForgetSettings();

} // namespace print
