// The Windows side of e2e_soak.sh: runs the real tessary.exe between two clipboard viewers of its
// own, kills one of them, holds the clipboard open while the program reacts to a change, and
// prints many times through the program's print commands.
//
//   soak_tool viewer NAME SECONDS   a clipboard viewer that counts WM_DRAWCLIPBOARD
//   soak_tool run TESSARY_EXE PRINTS
//
// "run" prints one line per check ("ok: ..." or "FAIL: ...") and exits with 0 when all held. Every
// wait has a deadline; whatever it started is ended on the way out.
#include "common/ids.h"
#include "tests/testutil.h"

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What a viewer shares with the driver.
struct ViewerState {
    volatile LONG ready;
    volatile LONG count;   // WM_DRAWCLIPBOARD seen
    volatile LONG replied; // ... and passed on to a next viewer that answered
    volatile LONG pid;
    volatile LONGLONG hwnd;
};

std::wstring MappingName(const std::wstring &name) {
    return L"tessary-soak-viewer-" + name;
}

// --- the viewer ----------------------------------------------------------------------------

int Viewer(const std::wstring &name, int seconds) {
    HANDLE map = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    sizeof(ViewerState), MappingName(name).c_str());
    if (!map) return 2;
    auto *state = static_cast<ViewerState *>(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, 0));
    if (!state) return 2;
    testutil::ClipViewer viewer;
    if (!viewer.hwnd()) return 2;
    // Joining sends one WM_DRAWCLIPBOARD; only the changes after it count.
    testutil::Pump(std::chrono::milliseconds(0));
    viewer.onChange = [state] { InterlockedIncrement(&state->count); };
    viewer.onPassed = [state] { InterlockedIncrement(&state->replied); };
    state->pid = static_cast<LONG>(GetCurrentProcessId());
    state->hwnd = reinterpret_cast<LONG_PTR>(viewer.hwnd());
    state->ready = 1;
    testutil::Pump(std::chrono::seconds(seconds)); // never outlives the test
    return 0;
}

// --- the driver ----------------------------------------------------------------------------

int g_failures = 0;
int g_printed = 0; // prints that returned without a message

void Report(const char *prefix, const char *fmt, va_list args) {
    std::printf("%s", prefix);
    std::vprintf(fmt, args);
    std::printf("\n");
    std::fflush(stdout);
}
void Ok(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    Report("ok: ", fmt, args);
    va_end(args);
}
void Fail(const char *fmt, ...) {
    ++g_failures;
    va_list args;
    va_start(args, fmt);
    Report("FAIL: ", fmt, args);
    va_end(args);
}

// Our own windows must answer while we wait: the chain and the clipboard send to them.
bool WaitFor(const std::function<bool()> &pred, int ms) {
    return testutil::PumpUntil(pred, std::chrono::milliseconds(ms));
}

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

class Child {
public:
    Child() = default;
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child() { Kill(); }
    bool Start(const std::wstring &exe, const std::wstring &args, const std::wstring &dir = L"") {
        std::wstring cmd = L"\"" + exe + L"\" " + args;
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        // Wine now and then refuses a start for a moment (ERROR_INTERNAL_ERROR) on a busy machine.
        bool started = false;
        for (int attempt = 0; attempt < 10 && !started; ++attempt) {
            started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                     dir.empty() ? nullptr : dir.c_str(), &si, &pi) != FALSE;
            if (!started) Sleep(100);
        }
        if (!started) return false;
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        return true;
    }
    void Kill() {
        if (!process_) return;
        TerminateProcess(process_, 9);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
        process_ = nullptr;
    }
    // Waits for the end; false if it did not end in time. The exit code goes to *code.
    bool Wait(int ms, DWORD *code) {
        if (!process_ || WaitForSingleObject(process_, static_cast<DWORD>(ms)) != WAIT_OBJECT_0)
            return false;
        GetExitCodeProcess(process_, code);
        CloseHandle(process_);
        process_ = nullptr;
        return true;
    }
    DWORD pid() const { return pid_; }

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

class ViewerProcess {
public:
    bool Start(const std::wstring &self, const std::wstring &name) {
        if (!child_.Start(self, L"viewer " + name + L" 240")) return false;
        const std::wstring mapping = MappingName(name);
        return WaitFor(
            [&] {
                if (!map_) map_ = OpenFileMappingW(FILE_MAP_READ, FALSE, mapping.c_str());
                if (map_ && !state_)
                    state_ =
                        static_cast<ViewerState *>(MapViewOfFile(map_, FILE_MAP_READ, 0, 0, 0));
                return state_ && state_->ready;
            },
            20000);
    }
    long count() const { return state_ ? state_->count : -1; }
    long replied() const { return state_ ? state_->replied : -1; }
    HWND hwnd() const { return state_ ? reinterpret_cast<HWND>(state_->hwnd) : nullptr; }
    void Kill() { child_.Kill(); }
    ~ViewerProcess() {
        if (state_) UnmapViewOfFile(const_cast<ViewerState *>(state_));
        if (map_) CloseHandle(map_);
    }

private:
    Child child_;
    HANDLE map_ = nullptr;
    const ViewerState *state_ = nullptr;
};

std::string Narrow(const std::wstring &w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

// --- the clipboard -------------------------------------------------------------------------

HWND g_owner = nullptr;

std::vector<unsigned char> Picture(int seed) {
    return testutil::MakeDib(32, 24, [seed](int x, int y) {
        return RGB(x * 7 + seed * 31, y * 7 + seed * 31, (x + y) * 3 + seed);
    });
}

// One complete change: a picture alone, or text alone.
bool Change(bool picture, int seed) {
    return picture ? testutil::SetClipboardDib(Picture(seed))
                   : testutil::SetClipboardFormats(true, false, false, false);
}

// --- the program -------------------------------------------------------------------------

struct Program {
    Child process;
    HWND menu = nullptr; // ClipMenu's hidden window

    bool Answers(int ms = 2000) {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(menu, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(ms),
                                   &result) != 0;
    }
    bool Command(UINT id, int ms) {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(menu, WM_COMMAND, id, 0, SMTO_NORMAL, static_cast<UINT>(ms),
                                   &result) != 0;
    }
    bool RemoteShown() const {
        return !testutil::FindWindows(process.pid(), L"TessaryForm", L"ClipRemort", true).empty();
    }
    bool PreviewShown() const {
        return !testutil::FindWindows(process.pid(), L"TessaryForm", L"ClipMain42V", true).empty();
    }
    bool CloseRemote() {
        return Command(ID_MEND, 5000) && WaitFor([this] { return !RemoteShown(); }, 5000);
    }
};

// --- the scenario ------------------------------------------------------------------------

// What a print says when it cannot read the clipboard.
const wchar_t kPrintUnreadable[] = L"クリップボードの画像を読み取れませんでした";

// Changes the clipboard and waits until every viewer given has seen it and the program is through
// with it (the viewer in front of it, the first one given, has its answer); for a picture, the
// remote control (closed beforehand) must have come up. A change that comes while the program
// still examines the one before is passed on unexamined by design, so the changes are paced
// this way. Returns the milliseconds it took.
double ChangeAndWait(Program &prog, bool picture, int seed,
                     const std::vector<const ViewerProcess *> &viewers, const char *what) {
    if (picture && !prog.CloseRemote()) Fail("%s: the remote control did not close", what);
    std::vector<long> before;
    before.reserve(viewers.size());
    for (const ViewerProcess *v : viewers)
        before.push_back(v->count());
    const ViewerProcess *front = viewers.front();
    const long answered = front->replied();
    const auto start = Clock::now();
    if (!Change(picture, seed)) {
        Fail("%s: could not change the clipboard", what);
        return 0;
    }
    for (size_t i = 0; i < viewers.size(); ++i) {
        const ViewerProcess *v = viewers[i];
        const long was = before[i];
        if (!WaitFor([v, was] { return v->count() > was; }, 5000))
            Fail("%s: viewer %zu missed change %d (count %ld)", what, i, seed, v->count());
    }
    if (!WaitFor([front, answered] { return front->replied() > answered; }, 10000))
        Fail("%s: the program did not answer change %d", what, seed);
    if (picture && !prog.RemoteShown()) Fail("%s: no remote control after picture %d", what, seed);
    return MsSince(start);
}

void ChainAndKill(Program &prog, ViewerProcess &a, ViewerProcess &c) {
    if (GetClipboardViewer() == c.hwnd())
        Ok("chain: C -> Tessary -> A, C at the head");
    else
        Fail("chain: C is not at the head");
    const int kAlive = 6, kAfter = 12;
    // Joining sends a notification down the chain; count from here.
    const long a0 = a.count(), c0 = c.count();
    for (int i = 0; i < kAlive; ++i)
        ChangeAndWait(prog, i % 2 == 0, i, {&c, &a}, "all alive");
    if (a.count() - a0 == kAlive && c.count() - c0 == kAlive)
        Ok("chain: A and C saw all %d changes (A only through Tessary)", kAlive);
    else
        Fail("chain: A saw %ld, C saw %ld of %d", a.count() - a0, c.count() - c0, kAlive);

    // A, behind Tessary in the chain, dies without leaving it.
    a.Kill();
    const long cBefore = c.count();
    double worst = 0;
    for (int i = 0; i < kAfter; ++i) {
        const double ms = ChangeAndWait(prog, i % 2 == 0, 100 + i, {&c}, "A killed");
        if (ms > worst) worst = ms;
        if (!prog.Answers()) Fail("A killed: Tessary does not answer after change %d", i);
    }
    if (c.count() - cBefore == kAfter)
        Ok("chain: with A killed, C saw all %d changes and Tessary brought up the remote for each "
           "of the %d pictures (slowest change %.0f ms)",
           kAfter, kAfter / 2, worst);
    else
        Fail("chain: with A killed, C saw %ld of %d", c.count() - cBefore, kAfter);
}

void HeldClipboard(Program &prog, testutil::ModalWatcher &boxes, ViewerProcess &c) {
    const int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        if (!prog.CloseRemote()) Fail("hold: the remote control did not close");
        boxes.Take();
        // The change is announced as the clipboard closes; we take it again at once and keep
        // it while the program examines the change, loads its windows and tries to print.
        const long was = c.count();
        if (!Change(true, 200 + round)) {
            Fail("hold: clipboard busy");
            continue;
        }
        testutil::ClipboardOpen clipboard(g_owner);
        if (!clipboard) {
            Fail("hold: could not take the clipboard again");
            continue;
        }
        const auto held = Clock::now();
        // The examination needs no open clipboard; the preview that it opens and a print do.
        const bool remote = WaitFor([&prog] { return prog.RemoteShown(); }, 10000);
        const bool printReturned = prog.Command(ID_MTPRINT, 15000);
        int answered = 0, missed = 0;
        while (MsSince(held) < 2500 || answered + missed < 3) {
            (prog.Answers(2000) ? answered : missed)++;
            WaitFor([] { return false; }, 100);
        }
        clipboard.Close();
        if (missed == 0)
            Ok("hold %d: Tessary answered all %d messages while the clipboard was held", round,
               answered);
        else
            Fail("hold %d: Tessary did not answer %d of %d messages while the clipboard was held",
                 round, missed, answered + missed);
        if (c.count() <= was) Fail("hold %d: the change was not announced", round);
        if (!remote) Fail("hold %d: no remote control for the change while held", round);
        WaitFor([&boxes] { return !boxes.Showing(); }, 3000);
        std::string said;
        bool printRefused = false;
        for (const testutil::BoxSeen &box : boxes.Take()) {
            said += " [" + Narrow(box.text) + "]";
            printRefused = printRefused || box.text == kPrintUnreadable;
        }
        // A print while the clipboard is held must give up with its message, not reach the
        // printer; the preview says what it could not read.
        if (printReturned && printRefused)
            Ok("hold %d: remote shown, print refused while held; messages:%s", round, said.c_str());
        else
            Fail("hold %d: the print while held %s; messages:%s", round,
                 printReturned ? "gave no message" : "did not return", said.c_str());

        // Released: the next change is seen, the picture shown and printed without a word.
        if (!prog.Answers(5000)) Fail("hold %d: Tessary does not answer after release", round);
        ChangeAndWait(prog, true, 300 + round, {&c}, "after release");
        if (!WaitFor([&prog] { return prog.PreviewShown(); }, 10000))
            Fail("hold %d: no preview after release", round);
        if (!prog.Command(ID_MTPRINT, 60000)) Fail("hold %d: the print did not return", round);
        WaitFor([] { return false; }, 300);
        const auto after = boxes.Take();
        if (after.empty()) ++g_printed;
        if (after.empty())
            Ok("hold %d: after release the next picture was seen, shown and printed", round);
        else
            Fail("hold %d: after release the program said [%s]", round,
                 Narrow(after[0].text).c_str());
    }
}

void Prints(Program &prog, testutil::ModalWatcher &boxes, int count) {
    if (!Change(true, 400)) Fail("prints: could not put the picture");
    WaitFor([&prog] { return prog.PreviewShown(); }, 10000);
    boxes.Take();
    int done = 0;
    double first = 0, total = 0;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (!prog.Command(i % 2 ? ID_MYPRINT : ID_MTPRINT, 60000)) {
            Fail("prints: print %d did not return within 60 s", i);
            break;
        }
        const double ms = MsSince(start);
        if (i == 0) first = ms;
        total += ms;
        const auto said = boxes.Take();
        if (!said.empty()) {
            Fail("prints: print %d said [%s]", i, Narrow(said[0].text).c_str());
            continue;
        }
        ++done;
        ++g_printed;
    }
    if (done == count)
        Ok("prints: %d prints without a message (first %.0f ms, average %.0f ms)", count, first,
           count ? total / count : 0.0);
}

int Run(const std::wstring &self, const std::wstring &exe, int prints) {
    // The clipboard is held through a window of ours; with none, the program could open it too.
    g_owner =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    testutil::EmptyTheClipboard();

    // Whatever we start ends with us, also when we are killed.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job)
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    AssignProcessToJobObject(job, GetCurrentProcess());
    ViewerProcess a, c;
    Program prog;
    // Viewer names of this run only, so that runs in one Wine session stay apart.
    const std::wstring run = std::to_wstring(GetCurrentProcessId());
    if (!a.Start(self, L"A" + run)) {
        Fail("viewer A did not start");
        return 1;
    }
    const std::wstring dir = exe.substr(0, exe.find_last_of(L"\\/"));
    if (!prog.process.Start(exe, L"", dir)) {
        Fail("tessary.exe did not start");
        return 1;
    }
    const auto started = Clock::now();
    WaitFor(
        [&prog] {
            const auto w =
                testutil::FindWindows(prog.process.pid(), L"TessaryForm", L"Tessary", false);
            if (!w.empty()) prog.menu = w[0];
            return prog.menu != nullptr;
        },
        30000);
    // Answering means the load handler is through: the program is in the chain.
    if (!prog.menu || !prog.Answers(20000)) {
        Fail("tessary.exe did not come up");
        return 1;
    }
    Ok("tessary.exe up in %.0f ms", MsSince(started));
    if (!c.Start(self, L"C" + run)) {
        Fail("viewer C did not start");
        return 1;
    }
    // The program's message boxes, answered from a thread of their own so that a command that
    // shows one still returns.
    testutil::ModalWatcher boxes(prog.process.pid());

    auto phase = Clock::now();
    ChainAndKill(prog, a, c);
    std::printf("time: chain %.1f s\n", MsSince(phase) / 1000);
    phase = Clock::now();
    HeldClipboard(prog, boxes, c);
    std::printf("time: hold %.1f s\n", MsSince(phase) / 1000);
    phase = Clock::now();
    Prints(prog, boxes, prints);
    std::printf("time: prints %.1f s\n", MsSince(phase) / 1000);
    std::printf("printed=%d\n", g_printed);

    // Leaving: the program ends by itself on WM_CLOSE, without a crash, and C keeps getting
    // changes after the program left the chain.
    PostMessageW(prog.menu, WM_CLOSE, 0, 0);
    DWORD code = 0;
    if (!prog.process.Wait(15000, &code))
        Fail("tessary.exe did not end after WM_CLOSE");
    else if (code != 0)
        Fail("tessary.exe ended with code 0x%lx", code);
    else
        Ok("tessary.exe ended cleanly");
    const long was = c.count();
    if (Change(false, 0) && WaitFor([&c, was] { return c.count() > was; }, 5000))
        Ok("chain: C still sees changes after Tessary left");
    else
        Fail("chain: C lost the changes after Tessary left");
    return g_failures ? 1 : 0;
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) return 2;
    const std::wstring mode = argv[1];
    if (mode == L"viewer" && argc == 4) return Viewer(argv[2], _wtoi(argv[3]));
    if (mode == L"run" && argc == 4) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        return Run(self, argv[2], _wtoi(argv[3]));
    }
    std::fprintf(stderr, "usage: soak_tool viewer NAME SECONDS | run TESSARY_EXE PRINTS\n");
    return 2;
}
