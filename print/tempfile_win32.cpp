#include "print/tempfile_win32.h"

#include "print/PrintJob.h"
#include "print/tempfiles.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace print {

PrintBitmapFile::PrintBitmapFile(std::wstring folder, const SYSTEMTIME &now,
                                 std::wstring *printFile)
    : folder_(std::move(folder)), now_(now), printFile_(printFile) {
    Name();
}

bool PrintBitmapFile::Create() {
    constexpr int kWaits = 3;
    for (int wait = 0;; ++wait) {
        if (TryCreate()) return true;
        if (GetLastError() != ERROR_SHARING_VIOLATION || wait == kWaits) return false;
        SYSTEMTIME clock{};
        GetLocalTime(&clock);
        Sleep(1000u - std::min<DWORD>(clock.wMilliseconds, 999));
        NextSecond();
    }
}

bool PrintBitmapFile::Append(const std::uint8_t *data, std::size_t size) {
    constexpr std::size_t kChunk = std::size_t{1} << 24;
    for (std::size_t done = 0; done < size;) {
        const DWORD part = static_cast<DWORD>(std::min(kChunk, size - done));
        DWORD written = 0;
        if (!WriteFile(file_.get(), data + done, part, &written, nullptr) || written != part)
            return false;
        done += part;
    }
    return true;
}

void PrintBitmapFile::Remove() {
    file_.reset();
    if (created_) DeleteFileW(path_.c_str());
    created_ = false;
}

// Without FILE_SHARE_DELETE, nobody else can delete or open it for writing while it is open.
bool PrintBitmapFile::TryCreate() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        file_.reset(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_) {
            created_ = true;
            return true;
        }
        // A folder or a read-only file fails here with its own error, never as in use.
        if (GetLastError() != ERROR_FILE_EXISTS || !DeleteFileW(path_.c_str())) return false;
    }
    return false;
}

void PrintBitmapFile::NextSecond() {
    FILETIME t{};
    if (!SystemTimeToFileTime(&now_, &t)) return;
    ULARGE_INTEGER u{};
    u.LowPart = t.dwLowDateTime;
    u.HighPart = t.dwHighDateTime;
    u.QuadPart += 10000000; // 100-ns units
    t.dwLowDateTime = u.LowPart;
    t.dwHighDateTime = u.HighPart;
    FileTimeToSystemTime(&t, &now_);
    Name();
}

void PrintBitmapFile::Name() {
    const tempfiles::DateTime when{now_.wYear, now_.wMonth,  now_.wDay,
                                   now_.wHour, now_.wMinute, now_.wSecond};
    path_ = tempfiles::TempFilePath(folder_, when);
    if (printFile_) *printFile_ = path_;
}

bool DeleteTempFiles(const std::wstring &folder) {
    // "*.bmp" also finds names whose short 8.3 alias ends in .BMP ("a.bmpx"); the name test
    // below sees the long name.
    std::vector<std::wstring> ours;
    {
        WIN32_FIND_DATAW found{};
        win::unique_hfind find(FindFirstFileW((folder + L"\\*.bmp").c_str(), &found));
        if (!find) return true;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                tempfiles::IsTempName(found.cFileName)) {
                ours.push_back(folder + L"\\" + found.cFileName);
            }
        } while (FindNextFileW(find.get(), &found));
    }
    bool all = true;
    for (const std::wstring &path : ours) {
        if (!DeleteFileW(path.c_str())) all = false;
    }
    return all;
}

} // namespace print
