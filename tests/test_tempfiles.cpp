// Temporary file names: the stamp from a fixed clock, the path beside the program, and which
// names count as ours when the folder is cleared.
#include "print/tempfiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tempfiles::DateTime;

TEST(TempFiles, StampNameFromFixedClock) {
    struct Case {
        DateTime when;
        const wchar_t *name;
    } const cases[] = {
        {{2006, 3, 17, 14, 5, 9}, L"060317140509.BMP"},
        {{1999, 12, 31, 23, 59, 59}, L"991231235959.BMP"},
        {{2000, 1, 1, 0, 0, 0}, L"000101000000.BMP"},
        {{2100, 10, 9, 8, 7, 6}, L"001009080706.BMP"},
        {{30827, 12, 31, 23, 59, 59}, L"271231235959.BMP"}, // the clock's last year
    };
    for (const Case &c : cases) {
        EXPECT_EQ(tempfiles::StampName(c.when), c.name);
        EXPECT_TRUE(tempfiles::IsTempName(tempfiles::StampName(c.when))) << c.name;
    }
    // Nonsense still gives twelve digits, but no time of day that the clock could give.
    EXPECT_EQ(tempfiles::StampName({-1, 100, 0, 0, 0, 0}), L"990000000000.BMP");
}

TEST(TempFiles, PathBesideTheProgram) {
    const DateTime when{2006, 3, 17, 14, 5, 9};
    EXPECT_EQ(tempfiles::TempFilePath(L"C:\\Program Files\\Tessary", when),
              L"C:\\Program Files\\Tessary\\060317140509.BMP");
    // At a drive root the folder keeps its separator and one more follows.
    EXPECT_EQ(tempfiles::TempFilePath(L"C:\\", when), L"C:\\\\060317140509.BMP");
    EXPECT_EQ(tempfiles::TempFilePath(L"\\\\server\\share\\app", when),
              L"\\\\server\\share\\app\\060317140509.BMP");
}

TEST(TempFiles, SameSecondSameName) {
    const DateTime a{2024, 6, 1, 9, 30, 15};
    const DateTime b = a;
    EXPECT_EQ(tempfiles::TempFilePath(L"D:\\x", a), tempfiles::TempFilePath(L"D:\\x", b));
    DateTime c = a;
    c.second = 16;
    EXPECT_NE(tempfiles::StampName(a), tempfiles::StampName(c));
}

TEST(TempFiles, WhichNamesAreOurs) {
    struct Case {
        const wchar_t *name;
        bool ours;
    } const cases[] = {
        {L"060317140509.BMP", true},
        {L"060317140509.bmp", true},
        {L"060317140509.Bmp", true},
        {L"991231235959.bMP", true},
        {L"000101000000.bmp", true},
        // Twelve digits that are no yymmddhhmmss: a user's own, such as yyyymmddhhmm.
        {L"202405061230.bmp", false},
        {L"999999999999.BMP", false},
        {L"060017140509.BMP", false}, // month 00
        {L"061317140509.BMP", false}, // month 13
        {L"060300140509.BMP", false}, // day 00
        {L"060332140509.BMP", false}, // day 32
        {L"060317240509.BMP", false}, // hour 24
        {L"060317146009.BMP", false}, // minute 60
        {L"060317140560.BMP", false}, // second 60
        {L"photo.bmp", false},
        {L"Photo.BMP", false},
        {L"06031714050.BMP", false},   // eleven digits
        {L"0603171405091.BMP", false}, // thirteen
        {L"06031714050a.BMP", false},
        {L"060317 40509.BMP", false},
        {L"060317140509.BMP.txt", false},
        {L"060317140509.BMPX", false},
        {L"060317140509.BM", false},
        {L"060317140509bmp", false},
        {L"060317140509.jpg", false},
        {L"x060317140509.BMP", false},
        {L"\uFF10\uFF16\uFF10\uFF13\uFF11\uFF17\uFF11\uFF14\uFF10\uFF15\uFF10\uFF19.BMP", false},
        {L"060317140509\uFF0EBMP", false}, // full-width period
        {L".bmp", false},
        {L"", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(tempfiles::IsTempName(c.name), c.ours) << std::wstring(c.name).size();
    }
}

} // namespace
