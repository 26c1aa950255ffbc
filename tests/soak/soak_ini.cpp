// Saves of the settings file cut short: a writer process saves two contents in turn as fast as it
// can and is killed at a random moment, over and over; after every kill the file must hold one of
// the two contents, byte for byte.
//
//   soak_ini write DIR          saves DIR\CNT\Tessary.ini in a loop until killed
//   soak_ini kills DIR ROUNDS   the driver; prints "ok: ..." / "FAIL: ..." lines, exit code 0 when
//                               all held
#include "settings/basClipINI.h"
#include "tests/testutil.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

const std::wstring k42 = L"42\uFF72\uFF9D\uFF81"; // 42ｲﾝﾁ
const std::wstring k65 = L"65\uFF72\uFF9D\uFF81";

void SaveA() {
    WriteSettings(k42, L"A4", L"1");
}
void SaveB() {
    WriteSettings(k65, L"B5", L" 10 ");
}

std::wstring EventName(DWORD pid) {
    return L"tessary-soak-writer-" + std::to_wstring(pid);
}

int Writer(const std::wstring &dir) {
    IniPath = dir + L"\\CNT\\Tessary.ini";
    HANDLE saved = CreateEventW(nullptr, TRUE, FALSE, EventName(GetCurrentProcessId()).c_str());
    for (unsigned long n = 0;; ++n) {
        if (n % 2)
            SaveB();
        else
            SaveA();
        if (n == 1) SetEvent(saved);
    }
}

bool ReadAll(const std::wstring &path, std::string &out) {
    out.clear();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(h);
    return true;
}

// The files in the folder besides the settings file itself.
std::vector<std::wstring> Strays(const std::wstring &cnt) {
    std::vector<std::wstring> out = testutil::Entries(cnt);
    out.erase(std::remove(out.begin(), out.end(), L"Tessary.ini"), out.end());
    return out;
}

// A stray left by a save cut short is the settings file's name, a dot, the writer's process id,
// a dash, a counter and ".tmp".
bool IsSaveTemp(const std::wstring &name) {
    const std::wstring head = L"Tessary.ini.", tail = L".tmp";
    if (name.size() <= head.size() + tail.size()) return false;
    if (name.compare(0, head.size(), head) != 0) return false;
    if (name.compare(name.size() - tail.size(), tail.size(), tail) != 0) return false;
    const std::wstring middle = name.substr(head.size(), name.size() - head.size() - tail.size());
    const size_t dash = middle.find(L'-');
    if (dash == std::wstring::npos || dash == 0 || dash + 1 == middle.size()) return false;
    for (size_t i = 0; i < middle.size(); ++i)
        if (i != dash && (middle[i] < L'0' || middle[i] > L'9')) return false;
    return true;
}

std::string Hex(const std::string &bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof(b), "%02x", c);
        out += b;
    }
    return out;
}

int Kills(const std::wstring &self, const std::wstring &dir, int rounds) {
    int failures = 0;
    auto fail = [&failures](const std::string &what) {
        ++failures;
        std::printf("FAIL: %s\n", what.c_str());
        std::fflush(stdout);
    };

    // The two contents, as clean saves write them one over the other.
    const std::wstring cnt = dir + L"\\CNT", ini = cnt + L"\\Tessary.ini";
    CreateDirectoryW(dir.c_str(), nullptr);
    CreateDirectoryW(cnt.c_str(), nullptr);
    IniPath = ini;
    DeleteFileW(ini.c_str());
    std::string a, b, again;
    SaveA();
    SaveB();
    ReadAll(ini, b);
    SaveA();
    ReadAll(ini, a);
    SaveB();
    ReadAll(ini, again);
    if (a.empty() || b.empty() || a == b || again != b) {
        fail("the two contents are not stable: A " + Hex(a) + ", B " + Hex(b));
        return 1;
    }
    SaveA();
    std::printf("contents: A %zu bytes, B %zu bytes\n", a.size(), b.size());

    std::mt19937 random(static_cast<unsigned>(GetTickCount()));
    std::printf("kills: 0..40 ms after the writer's second save\n");
    int asA = 0, asB = 0, cutShort = 0;
    size_t strays = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int round = 0; round < rounds; ++round) {
        std::wstring cmd = L"\"";
        cmd.append(self).append(L"\" write \"").append(dir).append(L"\"");
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        // Wine now and then refuses a start for a moment (ERROR_INTERNAL_ERROR) on a busy machine.
        DWORD error = 0;
        for (int attempt = 0; attempt < 20; ++attempt) {
            if (CreateProcessW(self.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi)) {
                error = 0;
                break;
            }
            error = GetLastError();
            std::printf("round %d: CreateProcess failed with %lu\n", round, error);
            Sleep(100);
        }
        if (error) {
            fail("round " + std::to_string(round) + ": the writer did not start, error " +
                 std::to_string(error));
            return 1;
        }
        CloseHandle(pi.hThread);
        // Its event exists once it runs; wait for its second save, then a random while.
        HANDLE saved = nullptr;
        for (int i = 0; i < 1000 && !saved; ++i) {
            saved = OpenEventW(SYNCHRONIZE, FALSE, EventName(pi.dwProcessId).c_str());
            if (!saved) {
                if (WaitForSingleObject(pi.hProcess, 10) == WAIT_OBJECT_0) break;
            }
        }
        if (!saved || WaitForSingleObject(saved, 10000) != WAIT_OBJECT_0) {
            fail("round " + std::to_string(round) + ": the writer did not save");
            TerminateProcess(pi.hProcess, 9);
            WaitForSingleObject(pi.hProcess, 10000);
            CloseHandle(pi.hProcess);
            if (saved) CloseHandle(saved);
            return 1;
        }
        CloseHandle(saved);
        Sleep(std::uniform_int_distribution<DWORD>(0, 40)(random));
        TerminateProcess(pi.hProcess, 9);
        if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
            fail("round " + std::to_string(round) + ": the writer did not die");
            CloseHandle(pi.hProcess);
            return 1;
        }
        CloseHandle(pi.hProcess);

        std::string now;
        if (!ReadAll(ini, now)) {
            fail("round " + std::to_string(round) + ": the settings file is gone");
        } else if (now == a) {
            ++asA;
        } else if (now == b) {
            ++asB;
        } else {
            fail("round " + std::to_string(round) +
                 ": the file holds neither content: " + Hex(now));
        }
        const std::vector<std::wstring> left = Strays(cnt);
        for (const std::wstring &name : left) {
            if (!IsSaveTemp(name)) {
                fail("round " + std::to_string(round) + ": unexpected file left beside it");
                break;
            }
        }
        if (left.size() > strays) ++cutShort;
        strays = left.size();
        // Each save clears what the saves before it left: only the one just cut short stays (two
        // if the next save ran while the killed writer's handle was still closing).
        if (strays > 2)
            fail("round " + std::to_string(round) + ": temporary files of earlier saves pile up");
    }
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (asA + asB == rounds)
        std::printf("ok: %d kills in %.1f s, the file was the old or the new content every time "
                    "(A %d, B %d)\n",
                    rounds, secs, asA, asB);
    std::printf("strays: %zu temporary files left by %d saves cut short\n", strays, cutShort);

    // A clean save still works over what the kills left.
    SaveB();
    std::string last;
    ReadAll(ini, last);
    if (last != b)
        fail("a clean save after the kills did not write the new content");
    else
        std::printf("ok: a clean save after the kills wrote the new content\n");
    if (!Strays(cnt).empty()) fail("a clean save left temporary files beside the settings");
    return failures ? 1 : 0;
}

} // namespace

// The command line split at blanks outside double quotes: enough for the lines this program
// builds itself, and it keeps shell32 (and all it loads) out of a process started 200 times.
std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> out;
    std::wstring cur;
    bool quoted = false, any = false;
    for (const wchar_t *p = GetCommandLineW(); *p; ++p) {
        if (*p == L'"') {
            quoted = !quoted;
            any = true;
        } else if ((*p == L' ' || *p == L'\t') && !quoted) {
            if (any) out.push_back(cur);
            cur.clear();
            any = false;
        } else {
            cur += *p;
            any = true;
        }
    }
    if (any) out.push_back(cur);
    return out;
}

int main() {
    const std::vector<std::wstring> argv = Arguments();
    const int argc = static_cast<int>(argv.size());
    if (argc < 3) return 2;
    const std::wstring &mode = argv[1];
    if (mode == L"write" && argc == 3) return Writer(argv[2]);
    if (mode == L"kills" && argc == 4) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        return Kills(self, argv[2], _wtoi(argv[3].c_str()));
    }
    std::fprintf(stderr, "usage: soak_ini write DIR | kills DIR ROUNDS\n");
    return 2;
}
