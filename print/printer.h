// The default printer, reached through the spooler loaded at the first print, and the device
// mode that the run keeps for it.
#pragma once

#include "common/handles.h"
#include "print/PrintJob.h"

#include <string>
#include <vector>

namespace print {

void ClosePrinterHandle(HANDLE h);

struct hprinter_traits {
    using pointer = HANDLE;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { ClosePrinterHandle(h); }
};
using unique_hprinter = win::unique_handle<hprinter_traits>;

// The default printer's device mode, with its driver-private part, kept for the whole run so that
// a paper size, copies or orientation once set stays in force. Read afresh only when there is
// none yet or the default printer is another one.
class PrinterSettings {
public:
    // Opens the default printer, reading its device mode when needed.
    PrintResult Open(unique_hprinter &handle);

    // Each change is merged by the driver at once, which may adjust it; the result is kept only
    // when the driver accepts it.
    bool SetPaperSize(HANDLE h, short code);
    bool SetCopies(HANDLE h, short copies);
    bool SetOrientation(HANDLE h, short orientation);

    const DEVMODEW *devmode() const {
        return devmode_.empty() ? nullptr : reinterpret_cast<const DEVMODEW *>(devmode_.data());
    }
    const std::wstring &printer() const { return printer_; }

    void Forget() {
        printer_.clear();
        devmode_.clear();
    }

private:
    template <class Fn> bool Change(HANDLE h, Fn change);

    std::wstring printer_;
    std::vector<BYTE> devmode_;
};

// The settings the run keeps.
PrinterSettings &Settings();

} // namespace print
