// The temporary file of one print, on the file system: the names come from print/tempfiles.h.
#pragma once

#include "common/handles.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace print {

// This print's temporary file, open from its creation to the end of the read-back: another
// copy of the program printing from the same folder cannot delete it meanwhile, and finds its
// name taken. Removed when the print ends, if we created it.
class PrintBitmapFile {
public:
    // The name is folder + the stamp of `now`; it goes to *printFile at once, and again for
    // each later second's name that Create moves to.
    PrintBitmapFile(std::wstring folder, const SYSTEMTIME &now, std::wstring *printFile);
    PrintBitmapFile(const PrintBitmapFile &) = delete;
    PrintBitmapFile &operator=(const PrintBitmapFile &) = delete;
    ~PrintBitmapFile() { Remove(); }

    // A name held open by another copy: the next second's, for a few seconds. A same-name file
    // that nothing holds (left by an earlier run, or this copy's print a moment ago) is replaced.
    bool Create();
    bool Append(const std::uint8_t *data, std::size_t size);
    void Remove();

    // For reading back: the handle that wrote it.
    HANDLE handle() const { return file_.get(); }

private:
    bool TryCreate();
    void NextSecond();
    void Name();

    std::wstring folder_;
    SYSTEMTIME now_;
    std::wstring *printFile_;
    std::wstring path_;
    win::unique_hfile file_;
    bool created_ = false;
};

} // namespace print
