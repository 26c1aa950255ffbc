// The print job through the real path: clipboard, temporary file, Wine's printer driver, CUPS and
// the cups-pdf printer, checked in the PDFs it writes. The Linux tools that read them back
// (pdfinfo, pdftoppm, ipptool) are run through Wine's support for Unix programs.
#include "common/basClipMain.h"
#include "common/picture/bigalloc.h"
#include "common/form.h"
#include "common/handles.h"
#include "common/ids.h"
#include "print/PrintJob.h"
#include "settings/basClipINI.h"
#include "shell/ClipMenu.h"
#include "tests/picture_samples.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using print::PrintResult;

constexpr COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255),
                   kYellow = RGB(255, 255, 0);

// Red top left, green top right, blue bottom left, yellow bottom right.
COLORREF Quadrant(int x, int y, int width, int height) {
    const bool right = x >= width / 2, bottom = y >= height / 2;
    return bottom ? (right ? kYellow : kBlue) : (right ? kGreen : kRed);
}

std::vector<unsigned char> QuadrantDib(int width, int height) {
    return testutil::MakeDib(width, height,
                             [=](int x, int y) { return Quadrant(x, y, width, height); });
}

// The same picture as a 32-bit top-down DIB.
std::vector<unsigned char> QuadrantDibTopDown32(int width, int height) {
    const BITMAPINFOHEADER bih = testutil::InfoHeader(width, -height, 32);
    std::vector<unsigned char> dib(sizeof(bih) + static_cast<size_t>(width) * height * 4);
    std::memcpy(dib.data(), &bih, sizeof(bih));
    unsigned char *px = dib.data() + sizeof(bih);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, px += 4) {
            const COLORREF c = Quadrant(x, y, width, height);
            px[0] = GetBValue(c);
            px[1] = GetGValue(c);
            px[2] = GetRValue(c);
        }
    }
    return dib;
}

SYSTEMTIME Clock(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, 0}; // 0: day of week, ms
}

const SYSTEMTIME kStamp = Clock(2006, 3, 17, 14, 5, 9); // 060317140509.BMP

using testutil::Entries;

bool Exists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring DefaultPrinter() {
    wchar_t name[512] = {};
    DWORD size = 512;
    return GetDefaultPrinterW(name, &size) ? name : L"";
}

bool PrinterInstalled(const std::wstring &name) {
    std::wstring n = name;
    HANDLE h = nullptr;
    if (!OpenPrinterW(n.data(), &h, nullptr)) return false;
    ClosePrinter(h);
    return true;
}

// The "Device" value that names the default printer; put back as it was on destruction.
class DefaultPrinterScope {
public:
    DefaultPrinterScope() {
        RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
        wchar_t value[1024] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
        had_ = key_ && RegQueryValueExW(key_, L"Device", nullptr, &type,
                                        reinterpret_cast<BYTE *>(value), &size) == ERROR_SUCCESS;
        saved_ = value;
    }
    ~DefaultPrinterScope() {
        if (!key_) return;
        if (had_)
            Set(saved_);
        else
            RegDeleteValueW(key_, L"Device");
        RegCloseKey(key_);
    }
    explicit operator bool() const { return key_ != nullptr && had_; }
    void Set(const std::wstring &device) {
        RegSetValueExW(key_, L"Device", 0, REG_SZ, reinterpret_cast<const BYTE *>(device.c_str()),
                       static_cast<DWORD>((device.size() + 1) * sizeof(wchar_t)));
    }
    void Remove() { RegDeleteValueW(key_, L"Device"); }

private:
    static constexpr const wchar_t *kKey =
        L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
    HKEY key_ = nullptr;
    bool had_ = false;
    std::wstring saved_;
};

// --- Unix side: pdfinfo, pdftoppm, ipptool and the CUPS commands ----------------------------

bool IsWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string UnixPath(const std::wstring &path) {
    using Fn = char *(CDECL *)(const wchar_t *);
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn) return {};
    char *unix = fn(path.c_str());
    if (!unix) return {};
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

std::wstring Widen(const std::string &s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string Text(const std::vector<unsigned char> &bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Runs shell scripts in a scratch folder. Wine starts a Unix program without a process handle to
// wait on, so each script reports its end by writing a file.
class UnixShell {
public:
    UnixShell() : unixDir_(UnixPath(dir_.path())) {}

    // Output of the script, or nothing when it could not be run or did not end in time.
    std::optional<std::string> Run(const std::string &script, DWORD timeoutMs = 90000) {
        if (unixDir_.empty()) return std::nullopt;
        const std::string n = std::to_string(++count_);
        std::string text = "cd '" + unixDir_ + "' || exit 1\n" + kPrelude + "{\n" + script +
                           "\n} >out" + n + ".txt 2>&1\necho $? >rc" + n + ".tmp && mv rc" + n +
                           ".tmp rc" + n + ".txt\n";
        if (!testutil::WriteFileBytes(dir_.file(Widen("run" + n + ".sh")), text)) {
            return std::nullopt;
        }
        std::wstring command = L"Z:\\bin\\bash \"" + Widen(unixDir_ + "/run" + n + ".sh") + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &si, &pi)) {
            return std::nullopt;
        }
        if (pi.hProcess) CloseHandle(pi.hProcess);
        if (pi.hThread) CloseHandle(pi.hThread);
        const std::wstring done = dir_.file(Widen("rc" + n + ".txt"));
        for (DWORD waited = 0; !Exists(done); waited += 20) {
            if (waited > timeoutMs) return std::nullopt;
            Sleep(20);
        }
        return Text(testutil::ReadFileBytes(dir_.file(Widen("out" + n + ".txt"))));
    }

    bool ToolsPresent() {
        const auto out = Run("for t in pdfinfo pdftoppm ipptool lpstat cupsreject cups_jobs; do "
                             "type $t >/dev/null 2>&1 || echo missing $t; done; echo ok");
        return out && *out == "ok\n";
    }

    std::wstring File(const std::wstring &name) const { return dir_.file(name); }

private:
    // The PDF folder of the test environment (or the one cups-pdf uses for root), and the jobs and
    // pages read as the end-to-end scripts read them (TESSARY_E2E_LIB names their library).
    static constexpr const char *kPrelude = "PDF_DIR=${TESSARY_PDF_DIR:-/root/PDF}\n"
                                            "source \"$TESSARY_E2E_LIB\" --host 2>/dev/null\n";

    testutil::TempDir dir_;
    std::string unixDir_;
    int count_ = 0;
};

// The leading number of a tool's output; 0 when there is none.
int NumberAt(const char *text) {
    return static_cast<int>(std::strtol(text, nullptr, 10));
}

struct Ppm {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    COLORREF At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * 3;
        return RGB(rgb[i], rgb[i + 1], rgb[i + 2]);
    }
};

std::optional<Ppm> ReadPpm(const std::vector<unsigned char> &bytes) {
    std::string head(bytes.data(), bytes.data() + std::min<size_t>(bytes.size(), 64));
    std::istringstream in(head);
    std::string magic;
    Ppm ppm;
    int maxval = 0;
    if (!(in >> magic >> ppm.width >> ppm.height >> maxval) || magic != "P6" || maxval != 255) {
        return std::nullopt;
    }
    const size_t offset = static_cast<size_t>(in.tellg()) + 1;
    const size_t size = static_cast<size_t>(ppm.width) * ppm.height * 3;
    if (bytes.size() < offset + size) return std::nullopt;
    ppm.rgb.assign(bytes.data() + offset, bytes.data() + offset + size);
    return ppm;
}

bool Near(COLORREF a, COLORREF b) {
    const auto within = [](int x, int y) { return std::abs(x - y) <= 60; };
    return within(GetRValue(a), GetRValue(b)) && within(GetGValue(a), GetGValue(b)) &&
           within(GetBValue(a), GetBValue(b));
}

// What a print left in CUPS and in the PDF folder.
struct Output {
    int jobs = 0; // new jobs since the baseline
    int copies = 0;
    std::string state;
    int pages = 0;
    double width = 0, height = 0; // points, as the page is seen (rotation applied)
    std::optional<Ppm> page;
};

// Follows prints through CUPS into the PDFs.
class PdfProbe {
public:
    bool Usable() { return IsWine() && shell_.ToolsPresent(); }

    // Remembers the newest job and the time before a print.
    bool Baseline() {
        const auto out = shell_.Run("touch marker; last_job_id");
        if (!out) return false;
        baseline_ = NumberAt(out->c_str());
        return true;
    }

    // Waits for the jobs since the baseline to end, then reads the newest PDF written since.
    Output Collect() {
        Output result;
        const auto out = shell_.Run(
            "for i in $(seq 600); do\n"
            "  new=$(cups_jobs | awk -F, -v b=" +
            std::to_string(baseline_) +
            " '$1+0>b')\n"
            "  [ -n \"$new\" ] && ! printf '%s\\n' \"$new\" | grep -qvE "
            "',(completed|aborted|canceled)$' && break\n"
            "  sleep 0.1\n"
            "done\n"
            "printf '%s\\n' \"$new\" | sed -n 's/^/JOB,/p'\n"
            "pdf=$(find \"$PDF_DIR\" -maxdepth 1 -name '*.pdf' -newer marker -printf '%T@ %p\\n' "
            "2>/dev/null | sort -n | tail -1 | cut -d' ' -f2-)\n"
            "rm -f page.ppm\n"
            // Read, then removed: the PDFs of these prints are of no further use.
            "if [ -n \"$pdf\" ]; then\n"
            "  echo PAGE $(pdf_page_size \"$pdf\"); pdftoppm -r 20 -singlefile \"$pdf\" page\n"
            "  rm -f \"$pdf\"\n"
            "fi\n");
        if (!out) return result;
        std::istringstream lines(*out);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("JOB,", 0) == 0) {
                // JOB,id,copies,state
                ++result.jobs;
                const size_t a = line.find(',', 4), b = line.rfind(',');
                if (a != std::string::npos && b > a) {
                    result.copies = NumberAt(line.c_str() + a + 1);
                    result.state = line.substr(b + 1);
                }
            } else if (line.rfind("PAGE ", 0) == 0) {
                // PAGE pages width height, as the page is seen
                std::istringstream page(line.substr(5));
                page >> result.pages >> result.width >> result.height;
            }
        }
        result.page = ReadPpm(testutil::ReadFileBytes(shell_.File(L"page.ppm")));
        return result;
    }

    // How many jobs reached CUPS since the baseline, after giving a late one time to arrive.
    int JobsSinceBaseline() {
        const auto out = shell_.Run(
            "sleep 1; cups_jobs | awk -F, -v b=" + std::to_string(baseline_) + " '$1+0>b' | wc -l");
        return out ? NumberAt(out->c_str()) : -1;
    }

    // Makes a printer stop and refuse jobs, or take them again.
    bool SetAccepting(const std::string &printer, bool on) {
        const std::string cmd = on ? "cupsaccept " + printer + " && cupsenable " + printer
                                   : "cupsreject " + printer + " && cupsdisable " + printer;
        const auto out = shell_.Run(cmd + " && echo done");
        return out && out->find("done") != std::string::npos;
    }

private:
    UnixShell shell_;
    int baseline_ = 0;
};

void ExpectQuadrantsFillPage(const Ppm &page) {
    const int w = page.width, h = page.height;
    struct Spot {
        int x, y;
        COLORREF colour;
    } const spots[] = {
        {w / 4, h / 4, kRed},
        {3 * w / 4, h / 4, kGreen},
        {w / 4, 3 * h / 4, kBlue},
        {3 * w / 4, 3 * h / 4, kYellow},
        // The corners of the page: the picture reaches every edge of the printable area.
        {1, 1, kRed},
        {w - 2, 1, kGreen},
        {1, h - 2, kBlue},
        {w - 2, h - 2, kYellow},
    };
    for (const Spot &s : spots) {
        const COLORREF got = page.At(s.x, s.y);
        EXPECT_TRUE(Near(got, s.colour))
            << "at " << s.x << "," << s.y << " of " << w << "x" << h << ": " << int(GetRValue(got))
            << " " << int(GetGValue(got)) << " " << int(GetBValue(got));
    }
}

// One page of width x height points, the picture's quadrants filling it the right way up.
void ExpectOnePageOfQuadrants(const Output &out, double width, double height) {
    EXPECT_EQ(out.pages, 1);
    EXPECT_NEAR(out.width, width, 2.0);
    EXPECT_NEAR(out.height, height, 2.0);
    ASSERT_TRUE(out.page.has_value());
    EXPECT_EQ(out.page->width < out.page->height, width < height);
    ExpectQuadrantsFillPage(*out.page);
}

// --- Fixtures --------------------------------------------------------------------------------

class PrintJob : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.path().empty());
        print::ForgetSettings();
    }
    void TearDown() override { testutil::EmptyTheClipboard(); }

    PrintResult Print(short orientation, const std::wstring &paper, const std::wstring &copies,
                      const SYSTEMTIME &now = kStamp) {
        return print::PrintClipboard(orientation, folder_.path(), paper, copies, now, &file_);
    }
    bool HavePrinter() {
        const std::wstring name = DefaultPrinter();
        return !name.empty() && PrinterInstalled(name);
    }

    testutil::ModalWatcher watcher_;
    testutil::TempDir folder_; // stands in for the program folder
    std::wstring file_;
};

// Prints that are followed into the PDF.
class PrintToPdf : public PrintJob {
protected:
    void SetUp() override {
        PrintJob::SetUp();
        if (!HavePrinter()) GTEST_SKIP() << "no default printer";
        if (!probe_.Usable())
            GTEST_SKIP() << "not under Wine, or the PDF tools or TESSARY_E2E_LIB missing";
    }

    Output PrintAndCollect(short orientation, const std::wstring &paper, const std::wstring &copies,
                           const SYSTEMTIME &now = kStamp) {
        EXPECT_TRUE(probe_.Baseline());
        EXPECT_EQ(Print(orientation, paper, copies, now), PrintResult::Printed);
        return probe_.Collect();
    }

    PdfProbe probe_;
};

// --- Without a printer -----------------------------------------------------------------------

TEST(PrintPaper, CodesByExactText) {
    struct Case {
        const wchar_t *text;
        short code;
    } const cases[] = {
        {L"A3", 8},  {L"A4", 9},  {L"B4", 12}, {L"B5", 13},          {L"a4", 0},
        {L"A4 ", 0}, {L" A4", 0}, {L"A5", 0},  {L"\uFF21\uFF14", 0}, // full-width Ａ４
        {L"", 0},    {L"A", 0},   {L"A44", 0}, {L"b5", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(print::PaperCode(c.text), c.code) << c.text;
}

TEST(PrintCleanup, OnlyOurTemporaryFilesGo) {
    // One folder per user file: photo.bmp and Photo.BMP are the same name to the file system.
    const wchar_t *const userFiles[] = {
        L"photo.bmp",        L"Photo.BMP",         L"0603171405091.bmp", L"06031714050.BMP",
        L"060317140509.txt", L"060317140509.bmpx", L"202405061230.bmp"};
    for (const wchar_t *user : userFiles) {
        testutil::TempDir dir;
        ASSERT_TRUE(testutil::WriteFileBytes(dir.file(user), "user"));
        ASSERT_TRUE(testutil::WriteFileBytes(dir.file(L"060317140509.BMP"), "stale"));
        ASSERT_TRUE(testutil::WriteFileBytes(dir.file(L"991231235959.bmp"), "stale"));
        ASSERT_TRUE(CreateDirectoryW(dir.file(L"000101000000.bmp").c_str(), nullptr));
        EXPECT_TRUE(print::DeleteTempFiles(dir.path()));
        EXPECT_TRUE(Exists(dir.file(user))) << user;
        EXPECT_FALSE(Exists(dir.file(L"060317140509.BMP")));
        EXPECT_FALSE(Exists(dir.file(L"991231235959.bmp")));
        EXPECT_TRUE(Exists(dir.file(L"000101000000.bmp"))) << "a folder is never ours";
    }
}

TEST(PrintCleanup, OneUndeletableFileDoesNotStopTheRest) {
    testutil::TempDir dir;
    ASSERT_TRUE(testutil::WriteFileBytes(dir.file(L"010101010101.bmp"), "locked"));
    ASSERT_TRUE(testutil::WriteFileBytes(dir.file(L"020202020202.bmp"), "stale"));
    ASSERT_TRUE(SetFileAttributesW(dir.file(L"010101010101.bmp").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(print::DeleteTempFiles(dir.path()));
    EXPECT_TRUE(Exists(dir.file(L"010101010101.bmp")));
    EXPECT_FALSE(Exists(dir.file(L"020202020202.bmp")));
    EXPECT_TRUE(print::DeleteTempFiles(dir.file(L"missing"))) << "nothing to delete";
}

TEST_F(PrintJob, TextOnlyClipboardSendsNothing) {
    PdfProbe probe;
    const bool follow = IsWine() && HavePrinter() && probe.Usable() && probe.Baseline();
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::NoPicture);
    EXPECT_EQ(file_, folder_.file(L"060317140509.BMP"));
    EXPECT_TRUE(Entries(folder_.path()).empty());
    ASSERT_TRUE(testutil::EmptyTheClipboard());
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::NoPicture);
    if (follow) {
        EXPECT_EQ(probe.JobsSinceBaseline(), 0);
    }
}

TEST_F(PrintJob, BrokenPngIsRefusedWithoutAFile) {
    for (const samples::BadPng &bad : samples::BadPngs()) {
        SCOPED_TRACE(bad.name);
        ASSERT_TRUE(testutil::SetClipboardBlock(testutil::PngFormat(), bad.bytes));
        EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::BadPicture);
        EXPECT_TRUE(Entries(folder_.path()).empty());
    }
}

TEST_F(PrintJob, UnusablePictureIsRefused) {
    std::vector<unsigned char> dib = QuadrantDib(8, 8);
    reinterpret_cast<BITMAPINFOHEADER *>(dib.data())->biCompression = BI_RLE8;
    ASSERT_TRUE(testutil::SetClipboardDib(dib));
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::BadPicture);
    EXPECT_TRUE(Entries(folder_.path()).empty());
}

TEST_F(PrintJob, FolderThatCannotBeWritten) {
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    const std::wstring missing = folder_.file(L"missing");
    EXPECT_EQ(print::PrintClipboard(print::kPortrait, missing, L"A4", L"1", kStamp, &file_),
              PrintResult::FileNotWritten);
    EXPECT_EQ(file_, missing + L"\\060317140509.BMP");
    EXPECT_FALSE(Exists(missing));
}

TEST_F(PrintJob, SomethingElseUnderTheSameNameIsLeftAlone) {
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    // A folder: unlike a read-only file, it stops even a process running as root.
    const std::wstring same = folder_.file(L"060317140509.BMP");
    ASSERT_TRUE(CreateDirectoryW(same.c_str(), nullptr));
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::FileNotWritten);
    EXPECT_TRUE(Exists(same)) << "not ours to remove";
}

// --- With the default printer ----------------------------------------------------------------

TEST_F(PrintJob, CopiesOutOfRangeFailBeforeAnythingIsSent) {
    if (!HavePrinter()) GTEST_SKIP() << "no default printer";
    PdfProbe probe;
    const bool follow = probe.Usable() && probe.Baseline();
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    for (const wchar_t *copies : {L"40000", L"32768", L"-32769", L"1E10"}) {
        EXPECT_EQ(Print(print::kPortrait, L"A4", copies), PrintResult::BadCopies) << copies;
        EXPECT_TRUE(Entries(folder_.path()).empty()) << copies;
    }
    if (follow) {
        EXPECT_EQ(probe.JobsSinceBaseline(), 0);
    }
}

TEST_F(PrintJob, SettingsCarryOverFromPrintToPrint) {
    if (!HavePrinter()) GTEST_SKIP() << "no default printer";
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    ASSERT_EQ(Print(print::kLandscape, L"A3", L"2"), PrintResult::Printed);
    print::HeldSettings held = print::CurrentSettings();
    EXPECT_TRUE(held.held);
    EXPECT_EQ(held.printer, DefaultPrinter());
    EXPECT_EQ(held.paperSize, DMPAPER_A3);
    EXPECT_EQ(held.copies, 2);
    EXPECT_EQ(held.orientation, DMORIENT_LANDSCAPE);

    // A text that is not one of the four sizes leaves the earlier print's paper in force.
    for (const wchar_t *paper : {L"a4", L"A4 ", L"A5", L""}) {
        ASSERT_EQ(Print(print::kPortrait, paper, L"1"), PrintResult::Printed) << paper;
        held = print::CurrentSettings();
        EXPECT_EQ(held.paperSize, DMPAPER_A3) << paper;
        EXPECT_EQ(held.orientation, DMORIENT_PORTRAIT);
        EXPECT_EQ(held.copies, 1);
    }
    ASSERT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::Printed);
    EXPECT_EQ(print::CurrentSettings().paperSize, DMPAPER_A4);

    // A failing copies step does not undo the paper set before it.
    EXPECT_EQ(Print(print::kLandscape, L"A3", L"40000"), PrintResult::BadCopies);
    EXPECT_EQ(print::CurrentSettings().paperSize, DMPAPER_A3);
    EXPECT_TRUE(Entries(folder_.path()).empty());
}

TEST_F(PrintJob, CopiesBelowOneBecomeOne) {
    if (!HavePrinter()) GTEST_SKIP() << "no default printer";
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    struct Case {
        const wchar_t *text;
        short copies;
    } const cases[] = {{L"0", 1}, {L"-3", 1}, {L"abc", 1}, {L"3.5", 4}};
    for (const Case &c : cases) {
        ASSERT_EQ(Print(print::kPortrait, L"A4", c.text), PrintResult::Printed) << c.text;
        EXPECT_EQ(print::CurrentSettings().copies, c.copies) << c.text;
    }
}

TEST_F(PrintJob, NoMessageIsProcessedDuringThePrint) {
    if (!HavePrinter()) GTEST_SKIP() << "no default printer";
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    const UINT marker = WM_APP + 0x321;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, marker, marker, PM_REMOVE)) {
    }
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), marker, 7, 0));
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::Printed);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, marker, marker, PM_REMOVE))
        << "a message loop ran inside the print";
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(PrintToPdf, PortraitA4IsOneA4PortraitPageFilledByThePicture) {
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(64, 48)));
    const Output out = PrintAndCollect(print::kPortrait, L"A4", L"1");
    EXPECT_EQ(out.jobs, 1);
    EXPECT_EQ(out.state, "completed");
    ExpectOnePageOfQuadrants(out, 595.3, 841.9);
    EXPECT_EQ(file_, folder_.file(L"060317140509.BMP"));
    EXPECT_TRUE(Entries(folder_.path()).empty());
}

TEST_F(PrintToPdf, LandscapeA3TopDownPictureKeepsItsQuadrants) {
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDibTopDown32(40, 100)));
    ExpectOnePageOfQuadrants(PrintAndCollect(print::kLandscape, L"A3", L"1"), 1190.6, 841.9);
}

TEST_F(PrintToPdf, PngAloneIsPrintedThroughABmpFile) {
    ASSERT_TRUE(testutil::SetClipboardBlock(testutil::PngFormat(), samples::QuadrantsPng(64, 48)));
    ExpectOnePageOfQuadrants(PrintAndCollect(print::kPortrait, L"A4", L"1"), 595.3, 841.9);
    EXPECT_EQ(file_, folder_.file(L"060317140509.BMP"));
    EXPECT_TRUE(Entries(folder_.path()).empty());
}

TEST_F(PrintToPdf, LargePictureDrawnInBandsKeepsItsQuadrants) {
    // 18 MB of 8-bit rows: read back and drawn in more than one band.
    ASSERT_TRUE(testutil::SetClipboardDib(samples::Quadrants8(6000, 3000)));
    ExpectOnePageOfQuadrants(PrintAndCollect(print::kLandscape, L"A4", L"1"), 841.9, 595.3);
}

TEST_F(PrintToPdf, TransparencyPrintsAsPaper) {
    ASSERT_TRUE(testutil::SetClipboardBlock(CF_DIBV5, samples::AlphaV5(40, 40, [](int x, int y) {
                                                return samples::HalfClear(x, y, 40, 40);
                                            })));
    const Output out = PrintAndCollect(print::kPortrait, L"A4", L"1");
    ASSERT_TRUE(out.page.has_value());
    const Ppm &p = *out.page;
    EXPECT_TRUE(Near(p.At(p.width / 4, p.height / 3), RGB(255, 255, 255)));
    EXPECT_TRUE(Near(p.At(3 * p.width / 4, p.height / 3), kBlue));
    EXPECT_TRUE(Near(p.At(p.width / 2, 7 * p.height / 8), RGB(255, 127, 127)));
}

TEST_F(PrintToPdf, ZeroFourthBytesWithoutAlphaArePrintedOpaque) {
    ASSERT_TRUE(testutil::SetClipboardDib(samples::Bgrx32(16, 16, RGB(0, 0, 255))));
    const Output out = PrintAndCollect(print::kPortrait, L"A4", L"1");
    ASSERT_TRUE(out.page.has_value());
    EXPECT_TRUE(Near(out.page->At(out.page->width / 2, out.page->height / 2), kBlue));
}

TEST_F(PrintToPdf, PictureTooLargeForMemoryIsReportedAndTheNextPrintWorks) {
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(64, 64)));
    bigalloc::FailNextOver(0);
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::TooLarge);
    EXPECT_STREQ(print::FailureText(PrintResult::TooLarge), L"画像が大きすぎて印刷できません");
    EXPECT_TRUE(Entries(folder_.path()).empty());
    EXPECT_EQ(PrintAndCollect(print::kPortrait, L"A4", L"1").pages, 1);

    // A PNG runs out in the decoder's strip: 4 bytes a pixel, more than the PNG's 3.
    const auto png = samples::QuadrantsPng(320, 200);
    ASSERT_TRUE(testutil::SetClipboardBlock(testutil::PngFormat(), png));
    bigalloc::FailNextOver(png.size());
    const PrintResult result = Print(print::kPortrait, L"A4", L"1");
    bigalloc::FailNextOver(std::numeric_limits<std::size_t>::max());
    EXPECT_EQ(result, PrintResult::TooLarge);
    EXPECT_TRUE(Entries(folder_.path()).empty());
}

TEST_F(PrintToPdf, CopiesReachTheJob) {
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    struct Case {
        const wchar_t *text;
        int copies;
    } const cases[] = {{L"2", 2}, {L"0", 1}};
    for (const Case &c : cases) {
        const Output out = PrintAndCollect(print::kPortrait, L"A4", c.text);
        EXPECT_EQ(out.jobs, 1) << c.text;
        EXPECT_EQ(out.copies, c.copies) << c.text;
    }
}

TEST_F(PrintToPdf, LowerCaseA4LeavesTheEarlierA3) {
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    Output out = PrintAndCollect(print::kPortrait, L"A3", L"1");
    EXPECT_NEAR(out.height, 1190.6, 2.0);
    out = PrintAndCollect(print::kPortrait, L"a4", L"1");
    EXPECT_NEAR(out.width, 841.9, 2.0);
    EXPECT_NEAR(out.height, 1190.6, 2.0);
}

TEST_F(PrintToPdf, SameSecondReplacesTheFileOfThatName) {
    // A broken file under this print's name, as a print of the same second could leave.
    ASSERT_TRUE(testutil::WriteFileBytes(folder_.file(L"060317140509.BMP"), "BM broken"));
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(16, 16)));
    Output out = PrintAndCollect(print::kPortrait, L"A4", L"1");
    const std::wstring first = file_;
    ASSERT_TRUE(out.page.has_value());
    ExpectQuadrantsFillPage(*out.page);
    out = PrintAndCollect(print::kPortrait, L"A4", L"1");
    EXPECT_EQ(file_, first);
    EXPECT_EQ(out.jobs, 1);
    EXPECT_TRUE(Entries(folder_.path()).empty());
}

TEST_F(PrintToPdf, UserPicturesSurviveAndStaleTemporaryFilesGo) {
    ASSERT_TRUE(testutil::WriteFileBytes(folder_.file(L"photo.bmp"), "user"));
    ASSERT_TRUE(testutil::WriteFileBytes(folder_.file(L"Holiday.BMP"), "user"));
    ASSERT_TRUE(testutil::WriteFileBytes(folder_.file(L"060317140509.BMP"), "stale"));
    ASSERT_TRUE(testutil::WriteFileBytes(folder_.file(L"990101000000.bmp"), "stale"));
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    const Output out = PrintAndCollect(print::kPortrait, L"A4", L"1", Clock(2024, 5, 6, 7, 8, 9));
    EXPECT_EQ(out.jobs, 1);
    EXPECT_EQ(file_, folder_.file(L"240506070809.BMP"));
    std::vector<std::wstring> left = Entries(folder_.path());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::wstring>{L"Holiday.BMP", L"photo.bmp"}));
}

// Another copy of the program printing from the same folder in the same second: it holds its
// file open, and cleans the folder up while this copy's file waits to be read back.
TEST_F(PrintToPdf, BesideAnotherCopyInTheSameFolder) {
    const auto hold = [this](const wchar_t *name) {
        return win::unique_hfile(CreateFileW(folder_.file(name).c_str(),
                                             GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    static std::wstring folder;
    static bool cleaned;
    folder = folder_.path();
    cleaned = true;
    {
        const win::unique_hfile other = hold(L"060317140509.BMP");
        print::BeforeReadBack = [] { cleaned = print::DeleteTempFiles(folder); };
        const Output out = PrintAndCollect(print::kPortrait, L"A4", L"1");
        print::BeforeReadBack = nullptr;
        EXPECT_FALSE(cleaned) << "the clean-up removed a file held open";
        EXPECT_EQ(file_, folder_.file(L"060317140510.BMP")) << "the next second's name";
        EXPECT_EQ(out.pages, 1);
        if (out.page) ExpectQuadrantsFillPage(*out.page);
        EXPECT_EQ(Entries(folder_.path()), std::vector<std::wstring>{L"060317140509.BMP"});
    }
    const win::unique_hfile held[] = {hold(L"060317140509.BMP"), hold(L"060317140510.BMP"),
                                      hold(L"060317140511.BMP"), hold(L"060317140512.BMP")};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::FileNotWritten);
    // Three waits, each to the start of the next second: two seconds at the least.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_STREQ(print::FailureText(PrintResult::FileNotWritten),
                 L"一時ファイルを作成できませんでした");
}

TEST_F(PrintToPdf, ProgramInADriveRoot) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp).substr(0, 3); // "C:\"
    const std::wstring probeFile = root + L"tessary-root-probe.tmp";
    if (!testutil::WriteFileBytes(probeFile, "x")) GTEST_SKIP() << "drive root not writable";
    DeleteFileW(probeFile.c_str());
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    ASSERT_TRUE(probe_.Baseline());
    const SYSTEMTIME now = Clock(2031, 1, 2, 3, 4, 5);
    EXPECT_EQ(print::PrintClipboard(print::kPortrait, root, L"A4", L"1", now, &file_),
              PrintResult::Printed);
    EXPECT_EQ(file_, root + L"\\310102030405.BMP");
    EXPECT_EQ(probe_.Collect().jobs, 1);
    EXPECT_FALSE(Exists(root + L"310102030405.BMP"));
}

TEST_F(PrintToPdf, NoDefaultPrinterThenTheNextPrintWorks) {
    DefaultPrinterScope restore;
    ASSERT_TRUE(restore);
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    ASSERT_TRUE(probe_.Baseline());
    restore.Set(L"NoSuchPrinter,winspool,Ne00:");
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::NoPrinter);
    EXPECT_TRUE(Entries(folder_.path()).empty());
    restore.Remove();
    EXPECT_EQ(Print(print::kPortrait, L"A4", L"1"), PrintResult::NoPrinter);
    EXPECT_TRUE(Entries(folder_.path()).empty());
    EXPECT_EQ(probe_.JobsSinceBaseline(), 0);

    restore.Set(L"TessaryPDF,winspool,Ne00:");
    if (!PrinterInstalled(L"TessaryPDF")) return;
    const Output out = PrintAndCollect(print::kPortrait, L"A4", L"1");
    EXPECT_EQ(out.jobs, 1);
    EXPECT_EQ(out.state, "completed");
    EXPECT_TRUE(Entries(folder_.path()).empty());
}

// A printer that names the JIS sizes: while it refuses, the print fails and leaves no file; once
// it accepts again, the next prints go through on paper of those sizes.
TEST_F(PrintToPdf, RefusingPrinterThenTheNextPrintsWorkInItsJisSizes) {
    if (!PrinterInstalled(L"TessaryJIS")) GTEST_SKIP() << "printer TessaryJIS missing";
    DefaultPrinterScope restore;
    ASSERT_TRUE(restore);
    ASSERT_TRUE(SetDefaultPrinterW(L"TessaryJIS"));
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    ASSERT_TRUE(probe_.SetAccepting("TessaryJIS", false));
    const PrintResult refused = Print(print::kPortrait, L"B5", L"1");
    ASSERT_TRUE(probe_.SetAccepting("TessaryJIS", true));
    EXPECT_EQ(refused, PrintResult::PrintFailed);
    EXPECT_TRUE(Entries(folder_.path()).empty());
    struct Case {
        const wchar_t *paper;
        double width, height;
    } const cases[] = {{L"B4", 727, 1029}, {L"B5", 518, 727}};
    for (const Case &c : cases) {
        const Output out = PrintAndCollect(print::kPortrait, c.paper, L"1");
        EXPECT_EQ(out.jobs, 1) << c.paper;
        EXPECT_EQ(out.state, "completed") << c.paper;
        EXPECT_NEAR(out.width, c.width, 2.0) << c.paper;
        EXPECT_NEAR(out.height, c.height, 2.0) << c.paper;
        EXPECT_EQ(print::CurrentSettings().printer, L"TessaryJIS");
    }
}

// --- The whole run ---------------------------------------------------------------------------

HWND g_menu = nullptr;
void CALLBACK ChoosePortrait(HWND, UINT, UINT_PTR id, DWORD) {
    if (!ClipMenu.IsLoaded()) return;
    KillTimer(nullptr, id);
    g_menu = ClipMenu->hWnd();
    PostMessageW(g_menu, WM_COMMAND, ID_MTPRINT, 0);
}

TEST_F(PrintToPdf, APrintAndTheExitDuringAPrintWaitForIt) {
    // With text beside, the picture brings up no remote at start: the timer fires in the loop.
    ASSERT_TRUE(testutil::SetClipboardBlock(CF_DIB, QuadrantDib(64, 48), true));
    ASSERT_TRUE(probe_.Baseline());
    // Messages run inside the job, as under a driver's dialog, and bring the next commands.
    print::InsideJob = [] {
        print::InsideJob = nullptr;
        PostMessageW(g_menu, WM_COMMAND, ID_MYPRINT, 0);
        PostMessageW(g_menu, WM_COMMAND, ID_MEND2, 0);
        win::DoEvents();
    };
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, ChoosePortrait);
    const int code = RunTessary();
    KillTimer(nullptr, timer);
    print::InsideJob = nullptr;
    win::Form::SetExiting(false);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &TrayIcon)) << "the icon stayed";
    EXPECT_NE(GetClipboardViewer(), g_menu) << "the chain was not left";
    const Output out = probe_.Collect();
    EXPECT_EQ(out.pages, 1);
    ASSERT_TRUE(out.page.has_value());
    EXPECT_LT(out.page->width, out.page->height) << "the landscape print's page";
    EXPECT_EQ(probe_.JobsSinceBaseline(), 1);
    EXPECT_EQ(watcher_.Seen().size(), 0u) << "a failure was reported";
}

// --- The menu commands -----------------------------------------------------------------------

class PrintCommands : public PrintJob {
protected:
    void SetUp() override {
        PrintJob::SetUp();
        paper_ = PaperSize;
        copies_ = PrintCopies;
    }
    void TearDown() override {
        PaperSize = paper_;
        PrintCopies = copies_;
        PrintJob::TearDown();
    }
    // The box closes asynchronously; give the watcher its time.
    std::vector<testutil::BoxSeen> Boxes(size_t expected) {
        testutil::PumpUntil([&] { return watcher_.Seen().size() >= expected; },
                            std::chrono::milliseconds(expected ? 3000 : 300));
        return watcher_.Seen();
    }
    std::wstring paper_, copies_;
};

TEST_F(PrintCommands, FailureIsReportedInAStopBox) {
    PaperSize = L"A4";
    PrintCopies = L"1";
    ASSERT_TRUE(testutil::SetClipboardFormats(true, false, false, false));
    ClipMenu->mTPrint_Click();
    const auto boxes = Boxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Tessary");
    EXPECT_EQ(boxes[0].text, L"クリップボードに画像データがありません");
    EXPECT_EQ(boxes[0].icon, static_cast<UINT>(MB_ICONSTOP));
    // PrintFile names this print's file, which is gone.
    const std::wstring folder = ProgramFolder();
    const std::wstring &file = ClipMenu->PrintFile;
    ASSERT_EQ(file.size(), folder.size() + 1 + 16);
    EXPECT_EQ(file.substr(0, folder.size() + 1), folder + L"\\");
    EXPECT_FALSE(Exists(file));
}

TEST_F(PrintCommands, BadCopiesAreReported) {
    if (!HavePrinter()) GTEST_SKIP() << "no default printer";
    PaperSize = L"A4";
    PrintCopies = L"40000";
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    ClipMenu->mYPrint_Click();
    const auto boxes = Boxes(1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"印字部数が不正です");
    EXPECT_FALSE(Exists(ClipMenu->PrintFile));
}

TEST_F(PrintCommands, LandscapeCommandUsesTheSettings) {
    if (!HavePrinter()) GTEST_SKIP() << "no default printer";
    PaperSize = L"A3";
    PrintCopies = L"2";
    ASSERT_TRUE(testutil::SetClipboardDib(QuadrantDib(8, 8)));
    ClipMenu->mYPrint_Click();
    EXPECT_TRUE(Boxes(0).empty());
    const print::HeldSettings held = print::CurrentSettings();
    EXPECT_EQ(held.paperSize, DMPAPER_A3);
    EXPECT_EQ(held.copies, 2);
    EXPECT_EQ(held.orientation, DMORIENT_LANDSCAPE);
    ClipMenu->mTPrint_Click();
    EXPECT_EQ(print::CurrentSettings().orientation, DMORIENT_PORTRAIT);
    EXPECT_FALSE(Exists(ClipMenu->PrintFile));
}

} // namespace
