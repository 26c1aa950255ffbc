#include "settings/basClipINI.h"

#include "common/handles.h"
#include "settings/text.h"
#include "settings/profile.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

std::wstring DispSize;
std::wstring PaperSize;
std::wstring PrintCopies;
std::wstring IniPath;

bool (*CreateFolder)(const std::wstring &path) = [](const std::wstring &path) {
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
};

namespace {

// Far beyond any settings file; a larger one is treated as unreadable rather than loaded.
constexpr LONGLONG kMaxFileSize = 16LL * 1024 * 1024;

const wchar_t kDefaultDispSize[] = L"42\uFF72\uFF9D\uFF81"; // 42ｲﾝﾁ
const wchar_t kDefaultPaperSize[] = L"A4";
const wchar_t kDefaultCopies[] = L"1";

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The path in its "\\?\" form, so that a deep program folder is not limited to MAX_PATH.
// GetFullPathNameW first, since that form skips the normalisation that folds the doubled
// separator of a drive-root program folder.
std::wstring LongPath(const std::wstring &path) {
    if (StartsWith(path, L"\\\\?\\")) {
        std::wstring folded = path.substr(0, 4);
        for (std::size_t i = 4; i < path.size(); ++i) {
            if (path[i] == L'\\' && folded.back() == L'\\' && folded.size() > 4) continue;
            folded += path[i];
        }
        return folded;
    }
    if (path.empty() || StartsWith(path, L"\\\\.\\")) return path;
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return full;
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadFileBytes(const std::wstring &path, std::string &bytes) {
    bytes.clear();
    win::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                   ? ReadResult::Missing
                   : ReadResult::Failed;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxFileSize) {
        return ReadResult::Failed;
    }
    bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[16384];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
            bytes.clear();
            return ReadResult::Failed;
        }
        if (got == 0) break;
        bytes.append(chunk, got);
        if (static_cast<LONGLONG>(bytes.size()) > kMaxFileSize) {
            bytes.clear();
            return ReadResult::Failed;
        }
    }
    return ReadResult::Ok;
}

// A file beside the target that is deleted again unless it was renamed over the target.
class ReplacementFile {
public:
    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile &) = delete;
    ReplacementFile &operator=(const ReplacementFile &) = delete;
    ~ReplacementFile() {
        handle_.reset();
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }

    bool Create(const std::wstring &target, DWORD attributes) {
        static unsigned counter = 0;
        const std::wstring base = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-";
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::wstring path = base + std::to_wstring(++counter) + L".tmp";
            handle_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      attributes, nullptr));
            if (handle_) {
                path_ = std::move(path);
                return true;
            }
            if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
                return false;
            }
        }
        return false;
    }

    bool WriteAll(const std::string &bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD part =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            DWORD written = 0;
            if (!WriteFile(handle_.get(), bytes.data() + done, part, &written, nullptr) ||
                written == 0) {
                return false;
            }
            done += written;
        }
        if (!FlushFileBuffers(handle_.get())) return false;
        return CloseHandle(handle_.release()) != FALSE;
    }

    bool MoveOver(const std::wstring &target) {
        if (!MoveFileExW(path_.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return false;
        }
        path_.clear();
        return true;
    }

private:
    win::unique_hfile handle_;
    std::wstring path_;
};

// "<pid>-<n>": the middle of a temporary name that ReplacementFile::Create makes.
bool IsTempTag(std::wstring_view tag) {
    const std::size_t dash = tag.find(L'-');
    if (dash == std::wstring_view::npos || dash == 0 || dash + 1 == tag.size()) return false;
    for (std::size_t i = 0; i < tag.size(); ++i) {
        if (i != dash && (tag[i] < L'0' || tag[i] > L'9')) return false;
    }
    return true;
}

// A save cut short (the process killed, the power gone) leaves its temporary file behind; the
// next save clears them away, even one that finds nothing to change. One that another save is
// still writing is open without delete sharing, so it stays.
void RemoveStaleTempFiles(const std::wstring &target) {
    const std::size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder =
        separator == std::wstring::npos ? L"" : target.substr(0, separator + 1);
    const std::wstring name = target.substr(folder.size());
    WIN32_FIND_DATAW found{};
    win::unique_hfind find(FindFirstFileW((target + L".*.tmp").c_str(), &found));
    if (!find) return;
    do {
        const std::wstring_view file = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        // Exactly "<name>.<pid>-<n>.tmp": the wildcard also finds 8.3 aliases and longer names.
        if (file.size() < name.size() + 6 || file.compare(0, name.size(), name) != 0 ||
            file[name.size()] != L'.' || file.substr(file.size() - 4) != L".tmp") {
            continue;
        }
        if (IsTempTag(file.substr(name.size() + 1, file.size() - name.size() - 5))) {
            DeleteFileW((folder + std::wstring(file)).c_str());
        }
    } while (FindNextFileW(find.get(), &found));
}

bool ReplaceContent(const std::wstring &target, const std::string &bytes) {
    // Carry the attributes that matter to the user over to the new file; a read-only file is
    // one the user does not want written, whether or not the rename would go through.
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    const DWORD existing = GetFileAttributesW(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
        const DWORD kept = existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (kept != 0) attributes = kept;
    }
    ReplacementFile temp;
    return temp.Create(target, attributes) && temp.WriteAll(bytes) && temp.MoveOver(target);
}

// Text in the file's own encoding, and back.
std::string Encode(profile::Encoding encoding, std::wstring_view text) {
    switch (encoding) {
    case profile::Encoding::Cp932:
        return ToCp932(text);
    case profile::Encoding::Utf8:
        return ToUtf8(text);
    case profile::Encoding::Utf16LE:
    case profile::Encoding::Utf16BE:
        break;
    }
    return profile::Utf16Bytes(std::u16string(text.begin(), text.end()),
                               encoding == profile::Encoding::Utf16BE);
}

std::wstring Decode(profile::Encoding encoding, std::string_view bytes) {
    switch (encoding) {
    case profile::Encoding::Cp932:
        return FromCp932(bytes);
    case profile::Encoding::Utf8:
        return FromUtf8(bytes);
    case profile::Encoding::Utf16LE:
    case profile::Encoding::Utf16BE:
        break;
    }
    const std::u16string units = profile::Utf16Units(bytes, encoding == profile::Encoding::Utf16BE);
    return std::wstring(units.begin(), units.end());
}

std::wstring ValueOrDefault(const std::string &file, const wchar_t *section, const wchar_t *key,
                            const wchar_t *fallback) {
    const profile::Encoding encoding = profile::EncodingOf(file);
    const std::string value =
        profile::GetString(file, Encode(encoding, section), Encode(encoding, key));
    return value.empty() ? std::wstring(fallback) : Decode(encoding, value);
}

} // namespace

std::wstring FolderOf(std::wstring_view modulePath) {
    const std::size_t separator = modulePath.find_last_of(L"\\/");
    if (separator == std::wstring_view::npos) return {};
    if (separator > 0 && modulePath[separator - 1] == L':') {
        return std::wstring(modulePath.substr(0, separator + 1));
    }
    return std::wstring(modulePath.substr(0, separator));
}

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return FolderOf(path);
        }
        if (path.size() > 65536) return {};
        path.resize(path.size() * 2);
    }
}

std::wstring JoinIniPath(std::wstring_view folder) {
    return std::wstring(folder) + L"\\CNT\\Tessary.ini";
}

std::wstring BuildIniPath() {
    return JoinIniPath(ProgramFolder());
}

bool MakeSettingsFolder() {
    // The same long form as reads and writes: the plain one stops short of MAX_PATH.
    const std::wstring folder = FolderOf(LongPath(IniPath));
    if (folder.empty()) return false;
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return CreateFolder(folder);
}

void ReadSettings(std::wstring &dispSize, std::wstring &paperSize, std::wstring &copies) {
    std::string file;
    if (ReadFileBytes(LongPath(IniPath), file) != ReadResult::Ok) file.clear();
    dispSize = ValueOrDefault(file, L"DISP", L"DSIZE", kDefaultDispSize);
    paperSize = ValueOrDefault(file, L"PRINTER", L"PSIZE", kDefaultPaperSize);
    copies = ValueOrDefault(file, L"PRINTER", L"PAGE", kDefaultCopies);
}

bool WriteSettings(const std::wstring &dispSize, const std::wstring &paperSize,
                   const std::wstring &copies) {
    const std::wstring target = LongPath(IniPath);
    if (target.empty()) return false;
    std::string old;
    const ReadResult read = ReadFileBytes(target, old);
    // Writing over a file that could not be read would lose whatever else it holds.
    if (read == ReadResult::Failed) return false;
    RemoveStaleTempFiles(target);

    // In the encoding the file already has, so that it never holds two.
    const profile::Encoding encoding = profile::EncodingOf(old);
    const auto set = [encoding](const std::string &in, const wchar_t *section, const wchar_t *key,
                                const std::wstring &value) {
        return profile::SetString(in, Encode(encoding, section), Encode(encoding, key),
                                  Encode(encoding, Trim(value)));
    };
    std::string file = set(old, L"DISP", L"DSIZE", dispSize);
    file = set(file, L"PRINTER", L"PSIZE", paperSize);
    file = set(file, L"PRINTER", L"PAGE", copies);
    if (read == ReadResult::Ok && file == old) return true;
    return ReplaceContent(target, file);
}
