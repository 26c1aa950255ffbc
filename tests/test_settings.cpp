// The settings file on real files: code-page-932 bytes on disk (UTF-16 or UTF-8 when another
// editor saved it so), defaults, replacing the file.
#include "common/handles.h"
#include "settings/text.h"
#include "settings/basClipINI.h"
#include "settings/profile.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::wstring k42 = L"42\uFF72\uFF9D\uFF81"; // 42ｲﾝﾁ
const std::wstring k57 = L"57\uFF72\uFF9D\uFF81"; // 57ｲﾝﾁ
const std::string k42Bytes = "\x34\x32\xB2\xDD\xC1";
const std::string k57Bytes = "\x35\x37\xB2\xDD\xC1";

std::string Bytes(const std::wstring &path) {
    const std::vector<unsigned char> data = testutil::ReadFileBytes(path);
    return std::string(data.begin(), data.end());
}

bool Exists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

using testutil::Entries;

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        cnt_ = dir_.file(L"CNT");
        ASSERT_TRUE(CreateDirectoryW(cnt_.c_str(), nullptr));
        saved_ = IniPath;
        IniPath = JoinIniPath(dir_.path());
        ini_ = cnt_ + L"\\Tessary.ini";
    }
    void TearDown() override {
        SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
        IniPath = saved_;
    }
    void Read() { ReadSettings(disp_, paper_, copies_); }

    testutil::TempDir dir_;
    std::wstring cnt_, ini_, saved_;
    std::wstring disp_ = L"x", paper_ = L"x", copies_ = L"x";
};

TEST_F(SettingsFile, NoFileGivesDefaultsAndCreatesNothing) {
    Read();
    EXPECT_EQ(disp_, k42);
    EXPECT_EQ(paper_, L"A4");
    EXPECT_EQ(copies_, L"1");
    EXPECT_TRUE(Entries(cnt_).empty());
}

TEST_F(SettingsFile, NoFolderGivesDefaultsAndSaveWritesNothing) {
    IniPath = JoinIniPath(dir_.file(L"missing"));
    Read();
    EXPECT_EQ(disp_, k42);
    EXPECT_EQ(paper_, L"A4");
    EXPECT_EQ(copies_, L"1");
    EXPECT_FALSE(WriteSettings(k57, L"B5", L"3"));
    EXPECT_FALSE(Exists(dir_.file(L"missing")));
    EXPECT_EQ(Entries(dir_.path()), std::vector<std::wstring>{L"CNT"});
}

struct ReadCase {
    const char *name;
    std::string file;
    std::wstring disp, paper, copies;
};

void PrintTo(const ReadCase &c, std::ostream *os) {
    *os << c.name;
}

class ReadFromFile : public SettingsFile, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadFromFile, GivesStoredValueOrDefault) {
    const ReadCase &c = GetParam();
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, c.file));
    Read();
    EXPECT_EQ(disp_, c.disp);
    EXPECT_EQ(paper_, c.paper);
    EXPECT_EQ(copies_, c.copies);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ReadFromFile,
    ::testing::Values(
        ReadCase{"Stored",
                 "[DISP]\r\nDSIZE=" + k57Bytes + "\r\n[PRINTER]\r\nPSIZE=B4\r\nPAGE=7\r\n", k57,
                 L"B4", L"7"},
        ReadCase{"EmptyValuesGiveDefaults", "[DISP]\r\nDSIZE=\r\n[PRINTER]\r\nPSIZE=\r\nPAGE=\r\n",
                 k42, L"A4", L"1"},
        ReadCase{"QuotedValues", "[PRINTER]\r\nPSIZE=\"B5\"\r\nPAGE=' 2 '\r\n", k42, L"B5", L" 2 "},
        ReadCase{"FullWidthCopies", "[PRINTER]\r\nPAGE=\x82\x52\r\n", k42, L"A4", L"\uFF13"},
        ReadCase{"UnexpectedValuesPassedOn", "[DISP]\r\nDSIZE=99\r\n[PRINTER]\r\nPSIZE=A5\r\n",
                 L"99", L"A5", L"1"},
        ReadCase{"LongValueCut", "[PRINTER]\r\nPAGE=" + std::string(600, '9') + "\r\n", k42, L"A4",
                 std::wstring(499, L'9')}),
    [](const ::testing::TestParamInfo<ReadCase> &info) { return std::string(info.param.name); });

TEST_F(SettingsFile, WriteIntoNewFileThenReadBack) {
    ASSERT_TRUE(WriteSettings(k57, L"B5", L" 3 "));
    EXPECT_EQ(Bytes(ini_),
              "[DISP]\r\nDSIZE=" + k57Bytes + "\r\n[PRINTER]\r\nPSIZE=B5\r\nPAGE=3\r\n");
    Read();
    EXPECT_EQ(disp_, k57);
    EXPECT_EQ(paper_, L"B5");
    EXPECT_EQ(copies_, L"3");
    EXPECT_EQ(Entries(cnt_), std::vector<std::wstring>{L"Tessary.ini"}); // no temporary left
}

TEST_F(SettingsFile, EmptyPaperSizeStaysAsEmptyKey) {
    ASSERT_TRUE(WriteSettings(k42, L"   ", L"2"));
    EXPECT_NE(Bytes(ini_).find("\r\nPSIZE=\r\n"), std::string::npos);
    Read();
    EXPECT_EQ(paper_, L"A4");
    EXPECT_EQ(copies_, L"2");
}

TEST_F(SettingsFile, EverythingElseStaysByteForByte) {
    const std::string before = "; Tessary\n[disp]\r\ndsize = " + k57Bytes +
                               "\r\n\r\n[OTHER]\r\nPSIZE=B5\r\n[printer]\r\npage=2\r\n";
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, before));
    ASSERT_TRUE(WriteSettings(k42, L"A3", L"10"));
    EXPECT_EQ(Bytes(ini_),
              "; Tessary\n[disp]\r\ndsize =" + k42Bytes +
                  "\r\n\r\n[OTHER]\r\nPSIZE=B5\r\n[printer]\r\npage=10\r\nPSIZE=A3\r\n");
}

// Files saved by other editors: Notepad's "Unicode" (UTF-16 with a mark; either byte order, as the
// platform's profile functions read them) and UTF-8 with its mark. Read as such, and saved in
// the same encoding throughout, never with code-page-932 lines among them.
std::string Utf16(std::wstring_view text, bool bigEndian) {
    return profile::Utf16Bytes(std::u16string(text.begin(), text.end()), bigEndian);
}

TEST_F(SettingsFile, Utf16FileIsReadAndSavedAsUtf16) {
    const std::wstring k65 = L"65\uFF72\uFF9D\uFF81";
    for (const bool big : {false, true}) {
        ASSERT_TRUE(testutil::WriteFileBytes(
            ini_,
            Utf16(L"\uFEFF[DISP]\r\nDSIZE=" + k57 + L"\r\n[PRINTER]\r\nPAGE=\uFF13\r\n", big)));
        Read();
        EXPECT_EQ(disp_, k57);
        EXPECT_EQ(paper_, L"A4");
        EXPECT_EQ(copies_, L"\uFF13");
        ASSERT_TRUE(WriteSettings(k65, L"B4", L"2"));
        EXPECT_EQ(Bytes(ini_), Utf16(L"\uFEFF[DISP]\r\nDSIZE=" + k65 +
                                         L"\r\n[PRINTER]\r\nPAGE=2\r\nPSIZE=B4\r\n",
                                     big));
        Read();
        EXPECT_EQ(disp_, k65);
        EXPECT_EQ(paper_, L"B4");
        EXPECT_EQ(copies_, L"2");
    }
}

TEST_F(SettingsFile, Utf8FileWithMarkIsReadAndSavedAsUtf8) {
    const std::string mark = "\xEF\xBB\xBF", k57Utf8 = "57\xEF\xBD\xB2\xEF\xBE\x9D\xEF\xBE\x81";
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, mark + "[DISP]\r\nDSIZE=" + k57Utf8 + "\r\n"));
    Read();
    EXPECT_EQ(disp_, k57);
    ASSERT_TRUE(WriteSettings(k42, L"A3", L"\uFF13"));
    EXPECT_EQ(Bytes(ini_), mark + "[DISP]\r\nDSIZE=42\xEF\xBD\xB2\xEF\xBE\x9D\xEF\xBE\x81\r\n"
                                  "[PRINTER]\r\nPSIZE=A3\r\nPAGE=\xEF\xBC\x93\r\n");
    Read();
    EXPECT_EQ(disp_, k42);
    EXPECT_EQ(copies_, L"\uFF13");
}

TEST_F(SettingsFile, ReadOnlyFileMakesSaveFailAndStaysUnchanged) {
    const std::string before = "[DISP]\r\nDSIZE=" + k42Bytes + "\r\n";
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, before));
    ASSERT_TRUE(SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(WriteSettings(k57, L"B5", L"3"));
    EXPECT_EQ(Bytes(ini_), before);
    EXPECT_EQ(Entries(cnt_), std::vector<std::wstring>{L"Tessary.ini"});
}

TEST_F(SettingsFile, HiddenFileStaysHidden) {
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, "[DISP]\r\nDSIZE=" + k42Bytes + "\r\n"));
    ASSERT_TRUE(SetFileAttributesW(ini_.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(WriteSettings(k57, L"A4", L"1"));
    EXPECT_TRUE(GetFileAttributesW(ini_.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    Read();
    EXPECT_EQ(disp_, k57);
}

TEST_F(SettingsFile, FileHeldExclusivelyReadsAsMissingAndIsNotOverwritten) {
    const std::string before = "[DISP]\r\nDSIZE=" + k57Bytes + "\r\n";
    ASSERT_TRUE(testutil::WriteFileBytes(ini_, before));
    {
        win::unique_hfile held(
            CreateFileW(ini_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        Read();
        EXPECT_EQ(disp_, k42);
        EXPECT_FALSE(WriteSettings(k42, L"A4", L"1"));
    }
    EXPECT_EQ(Bytes(ini_), before);
    EXPECT_EQ(Entries(cnt_), std::vector<std::wstring>{L"Tessary.ini"});
}

// A save killed half way leaves "Tessary.ini.<pid>-<n>.tmp"; the next save clears those, but
// not a look-alike of the user's, nor one another save is still writing.
TEST_F(SettingsFile, SaveClearsTemporaryFilesOfInterruptedSaves) {
    for (const wchar_t *name :
         {L"Tessary.ini.120-1.tmp", L"Tessary.ini.4-77.tmp", L"Tessary.ini.bak.tmp",
          L"Tessary.ini.1-2.tmp.keep", L"Tessary.ini.-1.tmp", L"Other.ini.1-1.tmp",
          L"Tessary.ini.9-9.tmp"}) {
        ASSERT_TRUE(testutil::WriteFileBytes(cnt_ + L"\\" + name, "x"));
    }
    win::unique_hfile writing(CreateFileW((cnt_ + L"\\Tessary.ini.9-9.tmp").c_str(), GENERIC_WRITE,
                                          0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writing);
    ASSERT_TRUE(WriteSettings(k57, L"B5", L"2"));
    // Saved again with nothing to change: the file stays, and the tidying still happens.
    ASSERT_TRUE(testutil::WriteFileBytes(cnt_ + L"\\Tessary.ini.120-2.tmp", "x"));
    ASSERT_TRUE(WriteSettings(k57, L"B5", L"2"));
    writing.reset();
    std::vector<std::wstring> left = Entries(cnt_);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::wstring>{L"Other.ini.1-1.tmp", L"Tessary.ini",
                                               L"Tessary.ini.-1.tmp", L"Tessary.ini.1-2.tmp.keep",
                                               L"Tessary.ini.9-9.tmp", L"Tessary.ini.bak.tmp"}));
    Read();
    EXPECT_EQ(disp_, k57);
}

TEST_F(SettingsFile, UnchangedContentIsNotRewritten) {
    ASSERT_TRUE(WriteSettings(k42, L"A4", L"1"));
    SYSTEMTIME longAgo{};
    longAgo.wYear = 2001;
    longAgo.wMonth = 2;
    longAgo.wDay = 3;
    FILETIME old{};
    ASSERT_TRUE(SystemTimeToFileTime(&longAgo, &old));
    {
        win::unique_hfile file(CreateFileW(ini_.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &old));
    }
    EXPECT_TRUE(WriteSettings(L" " + k42, L"A4 ", L"1"));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(ini_.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, old.dwHighDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, old.dwLowDateTime);
}

TEST_F(SettingsFile, DoubledSeparatorOfDriveRootFolderWorks) {
    IniPath = JoinIniPath(dir_.path() + L"\\");
    ASSERT_NE(IniPath.find(L"\\\\CNT\\Tessary.ini"), std::wstring::npos);
    ASSERT_TRUE(WriteSettings(k57, L"B4", L"4"));
    EXPECT_TRUE(Exists(ini_));
    Read();
    EXPECT_EQ(disp_, k57);
    EXPECT_EQ(paper_, L"B4");
    EXPECT_EQ(copies_, L"4");
}

TEST_F(SettingsFile, ProgramFolderDeeperThanMaxPath) {
    std::wstring deep = L"\\\\?\\" + dir_.path();
    std::vector<std::wstring> made;
    while (deep.size() < MAX_PATH + 40) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
        made.push_back(deep);
    }
    ASSERT_TRUE(CreateDirectoryW((deep + L"\\CNT").c_str(), nullptr));
    made.push_back(deep + L"\\CNT");
    IniPath = JoinIniPath(deep.substr(4));
    EXPECT_TRUE(WriteSettings(k57, L"B5", L"5"));
    Read();
    EXPECT_EQ(disp_, k57);
    EXPECT_EQ(paper_, L"B5");
    EXPECT_EQ(copies_, L"5");
    DeleteFileW((deep + L"\\CNT\\Tessary.ini").c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        RemoveDirectoryW(it->c_str());
}

TEST(SettingsPath, FolderOfModulePath) {
    EXPECT_EQ(FolderOf(L"C:\\Tools\\Tessary\\tessary.exe"), L"C:\\Tools\\Tessary");
    EXPECT_EQ(FolderOf(L"C:\\tessary.exe"), L"C:\\");
    EXPECT_EQ(FolderOf(L"\\\\server\\share\\tessary.exe"), L"\\\\server\\share");
    EXPECT_EQ(FolderOf(L"tessary.exe"), L"");
}

TEST(SettingsPath, JoinedWithoutTestingSeparators) {
    EXPECT_EQ(JoinIniPath(L"C:\\Tools"), L"C:\\Tools\\CNT\\Tessary.ini");
    EXPECT_EQ(JoinIniPath(L"C:\\"), L"C:\\\\CNT\\Tessary.ini");
}

TEST(SettingsPath, ProgramFolderIsTheExecutablesFolder) {
    const std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(folder.back() != L'\\' || (folder.size() == 3 && folder[1] == L':'));
    wchar_t module[4096] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, module, 4096), 0u);
    const std::wstring exe(module);
    const std::size_t nameStart = folder.size() + (folder.back() == L'\\' ? 0 : 1);
    ASSERT_GT(exe.size(), nameStart);
    EXPECT_EQ(exe.substr(0, folder.size()), folder);
    EXPECT_EQ(exe.find(L'\\', nameStart), std::wstring::npos);
    EXPECT_EQ(BuildIniPath(), JoinIniPath(folder));
}

TEST(Cp932Text, ExplicitCodePage) {
    EXPECT_EQ(ToCp932(k42), k42Bytes);
    EXPECT_EQ(FromCp932(k57Bytes), k57);
    EXPECT_EQ(ToCp932(L"\uFF13\u30BD"), "\x82\x52\x83\x5C"); // ３ソ
    EXPECT_EQ(FromCp932("\x83\x7C"), L"\u30DD");             // ポ
    EXPECT_EQ(ToCp932(L"A\u0E01"), "A?");                    // not in the code page
    EXPECT_EQ(ToCp932(L""), "");
    EXPECT_EQ(FromCp932(""), L"");
}

TEST(Cp932Text, TrimRemovesSpacesOnly) {
    EXPECT_EQ(Trim(L"  3 "), L"3");
    EXPECT_EQ(Trim(L"   "), L"");
    EXPECT_EQ(Trim(L""), L"");
    EXPECT_EQ(Trim(L"\t3\u3000"), L"\t3\u3000");
    EXPECT_EQ(Trim(L" A 4 "), L"A 4");
}

} // namespace
