// Profile reading and writing on code-page-932 bytes. Free of Windows headers: also built natively.
#include "settings/profile.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

// Code page 932 bytes of the texts used below.
const std::string k42 = "42\xB2\xDD\xC1";    // 42ｲﾝﾁ
const std::string k57 = "57\xB2\xDD\xC1";    // 57ｲﾝﾁ
const std::string kFull3 = "\x82\x52";       // ３ (full width)
const std::string kSo = "\x83\x5C";          // ソ: second byte is '\'
const std::string kZo = "\x83\x5D";          // ゾ: second byte is ']'
const std::string kPo = "\x83\x7C";          // ポ: second byte is '|'
const std::string kA = "\x83\x41";           // ア: second byte is 'A'
const std::string kALowerTrail = "\x83\x61"; // other character whose second byte is 'a'

struct GetCase {
    const char *name;
    std::string file, section, key, expected;
    std::size_t bufferSize = 500;
};

void PrintTo(const GetCase &c, std::ostream *os) {
    *os << c.name;
}

class GetStringTest : public ::testing::TestWithParam<GetCase> {};

TEST_P(GetStringTest, ReadsAsThePlatformDoes) {
    const GetCase &c = GetParam();
    EXPECT_EQ(profile::GetString(c.file, c.section, c.key, c.bufferSize), c.expected);
}

const std::string k600(600, 'x');

INSTANTIATE_TEST_SUITE_P(
    Profile, GetStringTest,
    ::testing::Values(
        GetCase{"Plain", "[DISP]\r\nDSIZE=" + k42 + "\r\n", "DISP", "DSIZE", k42},
        GetCase{"LowerCaseInFile", "[disp]\r\ndsize=" + k57 + "\r\n", "DISP", "DSIZE", k57},
        GetCase{"LowerCaseAsked", "[DISP]\r\nDSIZE=" + k57 + "\r\n", "disp", "dSize", k57},
        GetCase{"BlanksAroundEquals", "[disp]\r\ndsize \t= \t" + k57 + " \t\r\n", "DISP", "DSIZE",
                k57},
        GetCase{"IndentedLines", "  [ PRINTER ]\r\n\tPAGE=2\r\n", "PRINTER", "PAGE", "2"},
        GetCase{"DoubleQuotes", "[P]\r\nK= \" A4 \" \r\n", "P", "K", " A4 "},
        GetCase{"SingleQuotes", "[P]\r\nK='A4'\r\n", "P", "K", "A4"},
        GetCase{"OnlyOnePairRemoved", "[P]\r\nK=\"\"A4\"\"\r\n", "P", "K", "\"A4\""},
        GetCase{"MismatchedQuotesKept", "[P]\r\nK=\"A4'\r\n", "P", "K", "\"A4'"},
        GetCase{"LoneQuoteKept", "[P]\r\nK=\"\r\n", "P", "K", "\""},
        GetCase{"EmptyQuotes", "[P]\r\nK=\"\"\r\n", "P", "K", ""},
        GetCase{"EmptyValue", "[DISP]\r\nDSIZE=\r\n", "DISP", "DSIZE", ""},
        GetCase{"BlankValue", "[DISP]\r\nDSIZE=  \t\r\n", "DISP", "DSIZE", ""},
        GetCase{"KeyWithoutEquals", "[DISP]\r\nDSIZE\r\n", "DISP", "DSIZE", ""},
        GetCase{"EqualsInValue", "[P]\r\nK=a=b\r\n", "P", "K", "a=b"},
        GetCase{"EmptyFile", "", "DISP", "DSIZE", ""},
        GetCase{"MissingSection", "[PRINTER]\r\nDSIZE=1\r\n", "DISP", "DSIZE", ""},
        GetCase{"MissingKey", "[DISP]\r\nPSIZE=A4\r\n[PRINTER]\r\nDSIZE=1\r\n", "DISP", "DSIZE",
                ""},
        GetCase{"KeyBeforeAnySection", "DSIZE=1\r\n[DISP]\r\n", "DISP", "DSIZE", ""},
        GetCase{"SectionNameIsWhole", "[DISPLAY]\r\nDSIZE=1\r\n", "DISP", "DSIZE", ""},
        GetCase{"KeyNameIsWhole", "[DISP]\r\nDSIZE2=1\r\nDSIZ=2\r\n", "DISP", "DSIZE", ""},
        GetCase{"FirstSectionOnly", "[DISP]\r\nX=1\r\n[DISP]\r\nDSIZE=2\r\n", "DISP", "DSIZE", ""},
        GetCase{"FirstKeyWins", "[DISP]\r\nDSIZE=1\r\ndsize=2\r\n", "DISP", "DSIZE", "1"},
        GetCase{"CommentIsNoKey", "[DISP]\r\n;DSIZE=9\r\nDSIZE=1\r\n", "DISP", "DSIZE", "1"},
        GetCase{"LfEndings", "[DISP]\nX=0\nDSIZE=1\n", "DISP", "DSIZE", "1"},
        GetCase{"NoFinalLineEnd", "[DISP]\r\nDSIZE=1", "DISP", "DSIZE", "1"},
        GetCase{"StrayCarriageReturns", "[DISP]\r\r\nDSIZE=1\r\r\n", "DISP", "DSIZE", "1"},
        GetCase{"ByteOrderMarkSkipped", "\xEF\xBB\xBF[DISP]\r\nDSIZE=1\r\n", "DISP", "DSIZE", "1"},
        GetCase{"NulEndsValue", std::string("[P]\r\nK=ab\0cd\r\n", 13), "P", "K", "ab"},
        GetCase{"FullWidthValue", "[PRINTER]\r\nPAGE=" + kFull3 + "\r\n", "PRINTER", "PAGE",
                kFull3},
        GetCase{"ValueEndingInBackslashByte", "[P]\r\nK=" + kSo + "\r\n", "P", "K", kSo},
        GetCase{"KeyAfterTrailBytes", "[P]\r\nX=" + kSo + kPo + "\r\nK=v\r\n", "P", "K", "v"},
        GetCase{"TrailByteBracketInName", "[" + kZo + "]\r\nK=v\r\n", kZo, "K", "v"},
        GetCase{"TrailByteLetterSectionMatch", "[" + kA + "]\r\nK=v\r\n", kA, "K", "v"},
        GetCase{"TrailByteLetterNotFolded", "[" + kA + "]\r\nK=v\r\n", kALowerTrail, "K", ""},
        GetCase{"TrailByteLetterInKeyNotFolded", "[P]\r\n" + kALowerTrail + "=v\r\n", "P", kA, ""},
        GetCase{"LongValueCut", "[P]\r\nK=" + k600 + "\r\n", "P", "K", std::string(499, 'x')},
        GetCase{"QuotesRemovedBeforeCut", "[P]\r\nK=\"" + k600 + "\"\r\n", "P", "K",
                std::string(499, 'x')},
        GetCase{"CutFitsDoubleByte", "[P]\r\nK=" + std::string(497, 'x') + kFull3 + "y\r\n", "P",
                "K", std::string(497, 'x') + kFull3},
        GetCase{"CutNeverSplitsDoubleByte", "[P]\r\nK=" + std::string(498, 'x') + kFull3 + "\r\n",
                "P", "K", std::string(498, 'x')},
        GetCase{"SmallBuffer", "[DISP]\r\nDSIZE=" + k57 + "\r\n", "DISP", "DSIZE", "57\xB2", 4},
        GetCase{"BufferTooSmallForAnything", "[DISP]\r\nDSIZE=1\r\n", "DISP", "DSIZE", "", 1}),
    [](const ::testing::TestParamInfo<GetCase> &info) { return std::string(info.param.name); });

struct SetCase {
    const char *name;
    std::string file, section, key, value, expected;
};

void PrintTo(const SetCase &c, std::ostream *os) {
    *os << c.name;
}

class SetStringTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(SetStringTest, ChangesOnlyTheKey) {
    const SetCase &c = GetParam();
    const std::string out = profile::SetString(c.file, c.section, c.key, c.value);
    EXPECT_EQ(out, c.expected);
    std::string value = c.value.substr(0, c.value.find_first_of("\r\n"));
    EXPECT_EQ(profile::GetString(out, c.section, c.key), value);
}

const std::string kMiddle = "; Tessary\r\n"
                            "[DISP]\r\n"
                            "DSIZE=" +
                            k57 +
                            "\r\n"
                            "\r\n"
                            "[PRINTER]\r\n"
                            "PAGE=2\r\n"
                            "; end of printer\r\n"
                            "\r\n"
                            "[OTHER]\n"
                            "PSIZE=B5\n";

INSTANTIATE_TEST_SUITE_P(
    Profile, SetStringTest,
    ::testing::Values(
        SetCase{"EmptyFile", "", "DISP", "DSIZE", k42, "[DISP]\r\nDSIZE=" + k42 + "\r\n"},
        SetCase{"ReplaceInPlace", "[disp]\r\n  dsize = " + k57 + "  \nX=1\r\n", "DISP", "DSIZE",
                k42, "[disp]\r\n  dsize =" + k42 + "\nX=1\r\n"},
        SetCase{"ReplaceLastLineWithoutEnd", "[DISP]\r\nDSIZE=1", "DISP", "DSIZE", "22",
                "[DISP]\r\nDSIZE=22"},
        SetCase{"ReplaceAfterTrailBytes", "[DISP]\r\nX=" + kSo + "\r\nDSIZE=1\r\n", "DISP", "DSIZE",
                k42, "[DISP]\r\nX=" + kSo + "\r\nDSIZE=" + k42 + "\r\n"},
        SetCase{"KeyWithoutEqualsGetsOne", "[DISP]\r\nDSIZE\r\n", "DISP", "DSIZE", k42,
                "[DISP]\r\nDSIZE=" + k42 + "\r\n"},
        SetCase{"EmptyValueKeepsKey", "[PRINTER]\r\nPSIZE=A4\r\n", "PRINTER", "PSIZE", "",
                "[PRINTER]\r\nPSIZE=\r\n"},
        SetCase{"KeyAddedToSectionInTheMiddle", kMiddle, "PRINTER", "PSIZE", "A3",
                "; Tessary\r\n[DISP]\r\nDSIZE=" + k57 +
                    "\r\n\r\n[PRINTER]\r\nPAGE=2\r\nPSIZE=A3\r\n; end of printer\r\n\r\n"
                    "[OTHER]\nPSIZE=B5\n"},
        SetCase{"KeyAddedToSectionWithoutKeys", "[PRINTER]\r\n\r\n[X]\r\n", "PRINTER", "PAGE", "1",
                "[PRINTER]\r\nPAGE=1\r\n\r\n[X]\r\n"},
        SetCase{"KeyAddedAfterUnterminatedLine", "[PRINTER]\r\nPAGE=1", "PRINTER", "PSIZE", "A4",
                "[PRINTER]\r\nPAGE=1\r\nPSIZE=A4\r\n"},
        SetCase{"KeyAddedAfterUnterminatedHeader", "[PRINTER]", "PRINTER", "PSIZE", "A4",
                "[PRINTER]\r\nPSIZE=A4\r\n"},
        SetCase{"SectionAppended", kMiddle, "NEW", "K", kFull3,
                kMiddle + "[NEW]\r\nK=" + kFull3 + "\r\n"},
        SetCase{"SectionAppendedAfterUnterminatedLine", "[DISP]\r\nDSIZE=1", "PRINTER", "PAGE", "1",
                "[DISP]\r\nDSIZE=1\r\n[PRINTER]\r\nPAGE=1\r\n"},
        SetCase{"KeyOutsideSectionsUntouched", "DSIZE=9\r\n", "DISP", "DSIZE", "1",
                "DSIZE=9\r\n[DISP]\r\nDSIZE=1\r\n"},
        SetCase{"FirstSectionOnly", "[DISP]\r\nX=1\r\n[DISP]\r\nDSIZE=2\r\n", "DISP", "DSIZE", "3",
                "[DISP]\r\nX=1\r\nDSIZE=3\r\n[DISP]\r\nDSIZE=2\r\n"},
        SetCase{"TrailByteLetterIsAnotherSection", "[" + kA + "]\r\nK=1\r\n", kALowerTrail, "K",
                "2", "[" + kA + "]\r\nK=1\r\n[" + kALowerTrail + "]\r\nK=2\r\n"},
        SetCase{"LineBreakInValueCut", "", "P", "K", "a\r\n[X]", "[P]\r\nK=a\r\n"}),
    [](const ::testing::TestParamInfo<SetCase> &info) { return std::string(info.param.name); });

TEST(SetString, ThreeKeysIntoEmptyFileInWritingOrder) {
    std::string file;
    file = profile::SetString(file, "DISP", "DSIZE", k42);
    file = profile::SetString(file, "PRINTER", "PSIZE", "A4");
    file = profile::SetString(file, "PRINTER", "PAGE", "1");
    EXPECT_EQ(file, "[DISP]\r\nDSIZE=" + k42 + "\r\n[PRINTER]\r\nPSIZE=A4\r\nPAGE=1\r\n");
    // Writing the same values again changes nothing.
    EXPECT_EQ(profile::SetString(file, "disp", "dsize", k42), file);
}

// Each line without '=' was once searched on to the end of the file for one, so a file of such
// lines took time quadratic in its size: about an hour for the 16 MiB the reader accepts.
TEST(Profile, LargestFileOfLinesWithoutEqualsIsReadInOnePass) {
    const std::size_t largest = std::size_t{16} * 1024 * 1024;
    std::string file;
    file.reserve(largest + 64);
    file += "[PRINTER]\r\n";
    while (file.size() < largest)
        file += "x\r\n";
    file += "PAGE=3\r\n";
    EXPECT_EQ(profile::GetString(file, "PRINTER", "PAGE"), "3");
    EXPECT_EQ(profile::GetString(file, "PRINTER", "PSIZE"), "");
    const std::string written = profile::SetString(file, "PRINTER", "PAGE", "4");
    EXPECT_EQ(written.size(), file.size());
    EXPECT_EQ(written.compare(written.size() - 8, 8, "PAGE=4\r\n"), 0);
}

} // namespace
