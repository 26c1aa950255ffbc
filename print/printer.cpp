#include "print/printer.h"

#include "common/lazylib.h"

#include <winspool.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>

namespace print {

namespace {

// The spooler's functions, loaded at the first print. winspool.drv brings the platform's print
// system into the process (under Wine: libcups with its TLS, Kerberos and D-Bus libraries,
// several megabytes) that a resident program should not carry while it only waits.
struct Spooler {
    decltype(&::GetDefaultPrinterW) getDefaultPrinter = nullptr;
    decltype(&::OpenPrinterW) openPrinter = nullptr;
    decltype(&::ClosePrinter) closePrinter = nullptr;
    decltype(&::DocumentPropertiesW) documentProperties = nullptr;
    bool loaded() const {
        return getDefaultPrinter && openPrinter && closePrinter && documentProperties;
    }
};

template <class Fn> void Resolve(HMODULE module, const char *name, Fn &fn) {
    fn = win::LibraryFunction<Fn>(module, name);
}

const Spooler &GetSpooler() {
    static const Spooler spooler = [] {
        Spooler s;
        // Stays loaded for the rest of the run, as the printer driver does.
        const HMODULE module = win::LoadSystemLibrary(L"winspool.drv");
        if (!module) return s;
        Resolve(module, "GetDefaultPrinterW", s.getDefaultPrinter);
        Resolve(module, "OpenPrinterW", s.openPrinter);
        Resolve(module, "ClosePrinter", s.closePrinter);
        Resolve(module, "DocumentPropertiesW", s.documentProperties);
        return s;
    }();
    return spooler;
}

std::wstring DefaultPrinterName() {
    const Spooler &spooler = GetSpooler();
    if (!spooler.loaded()) return {};
    DWORD size = 0;
    spooler.getDefaultPrinter(nullptr, &size);
    if (size == 0) return {};
    std::wstring name(size, L'\0');
    if (!spooler.getDefaultPrinter(name.data(), &size)) return {};
    name.resize(std::wcslen(name.c_str()));
    return name;
}

// The fields we change all lie before dmDefaultSource; a device mode must reach that far.
constexpr std::size_t kNeededDevmodeBytes = offsetof(DEVMODEW, dmDefaultSource);

// The buffer the driver's device mode needs, driver-private part included; 0 on failure.
std::size_t DevmodeSize(HANDLE h, const std::wstring &name) {
    const auto documentProperties = GetSpooler().documentProperties;
    if (!documentProperties) return 0;
    std::wstring device = name;
    const LONG need = documentProperties(nullptr, h, device.data(), nullptr, nullptr, 0);
    if (need <= 0) return 0;
    return std::max<std::size_t>(static_cast<std::size_t>(need), sizeof(DEVMODEW));
}

// DocumentProperties into a buffer of DevmodeSize's `size`; with `in`, the driver merges that
// device mode into its own.
bool Query(HANDLE h, const std::wstring &name, const DEVMODEW *in, std::size_t size,
           std::vector<BYTE> &out) {
    const auto documentProperties = GetSpooler().documentProperties;
    if (!documentProperties) return false;
    std::wstring device = name;
    out.assign(size, 0);
    auto *dm = reinterpret_cast<DEVMODEW *>(out.data());
    const DWORD mode = in ? (DM_IN_BUFFER | DM_OUT_BUFFER) : DM_OUT_BUFFER;
    if (documentProperties(nullptr, h, device.data(), dm, const_cast<DEVMODEW *>(in), mode) !=
        IDOK) {
        return false;
    }
    return dm->dmSize >= kNeededDevmodeBytes &&
           std::size_t{dm->dmSize} + dm->dmDriverExtra <= out.size();
}

} // namespace

void ClosePrinterHandle(HANDLE h) {
    GetSpooler().closePrinter(h);
}

PrintResult PrinterSettings::Open(unique_hprinter &handle) {
    const Spooler &spooler = GetSpooler();
    if (!spooler.loaded()) return PrintResult::NoPrinter;
    const std::wstring name = DefaultPrinterName();
    if (name.empty()) return PrintResult::NoPrinter;
    HANDLE h = nullptr;
    std::wstring openName = name;
    if (!spooler.openPrinter(openName.data(), &h, nullptr) || !h) return PrintResult::NoPrinter;
    handle.reset(h);
    // Asked once a print, so that each setting then costs the driver one call; a driver
    // replaced under the same name shows here as another size.
    const std::size_t size = DevmodeSize(h, name);
    if (size == 0) return PrintResult::PrintFailed;
    if (name == printer_ && size == devmode_.size()) return PrintResult::Printed;
    Forget();
    std::vector<BYTE> mode;
    if (!Query(h, name, nullptr, size, mode)) return PrintResult::PrintFailed;
    printer_ = name;
    devmode_.swap(mode);
    return PrintResult::Printed;
}

template <class Fn> bool PrinterSettings::Change(HANDLE h, Fn change) {
    if (devmode_.empty()) return false;
    std::vector<BYTE> in = devmode_;
    change(*reinterpret_cast<DEVMODEW *>(in.data()));
    std::vector<BYTE> out;
    if (!Query(h, printer_, reinterpret_cast<const DEVMODEW *>(in.data()), in.size(), out))
        return false;
    devmode_.swap(out);
    return true;
}

bool PrinterSettings::SetPaperSize(HANDLE h, short code) {
    return Change(h, [code](DEVMODEW &dm) {
        dm.dmPaperSize = code;
        dm.dmFields |= DM_PAPERSIZE;
        // A form name or explicit dimensions would take precedence over the code.
        dm.dmFields &= ~static_cast<DWORD>(DM_FORMNAME | DM_PAPERLENGTH | DM_PAPERWIDTH);
    });
}

bool PrinterSettings::SetCopies(HANDLE h, short copies) {
    return Change(h, [copies](DEVMODEW &dm) {
        dm.dmCopies = copies;
        dm.dmFields |= DM_COPIES;
    });
}

bool PrinterSettings::SetOrientation(HANDLE h, short orientation) {
    return Change(h, [orientation](DEVMODEW &dm) {
        dm.dmOrientation = orientation;
        dm.dmFields |= DM_ORIENTATION;
    });
}

PrinterSettings &Settings() {
    static PrinterSettings settings;
    return settings;
}

HeldSettings CurrentSettings() {
    HeldSettings held;
    const PrinterSettings &settings = Settings();
    const DEVMODEW *dm = settings.devmode();
    if (!dm) return held;
    held.held = true;
    held.printer = settings.printer();
    held.paperSize = dm->dmPaperSize;
    held.copies = dm->dmCopies;
    held.orientation = dm->dmOrientation;
    return held;
}

void ForgetSettings() {
    Settings().Forget();
}

} // namespace print
