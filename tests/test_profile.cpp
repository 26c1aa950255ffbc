// Profile reading and writing on the bytes of a file: code page 932, UTF-8, UTF-16. Free of
// Windows headers: also built natively.
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

// Files saved by other editors: UTF-16 in either byte order and UTF-8, each with its mark. Names
// and values are given and returned in the file's own encoding. The program's own conversion
// writes them; its bytes are held against literal ones in Utf16ReadInEitherByteOrder.
std::string Utf16(std::u16string_view text, bool bigEndian = false) {
    return profile::Utf16Bytes(text, bigEndian);
}
const std::string kLE = "\xFF\xFE", kBE = "\xFE\xFF", kUtf8Mark = "\xEF\xBB\xBF";
const std::string k57Utf8 = "57\xEF\xBD\xB2\xEF\xBE\x9D\xEF\xBE\x81"; // 57ｲﾝﾁ

TEST(Encodings, ToldByTheMark) {
    EXPECT_EQ(profile::EncodingOf(""), profile::Encoding::Cp932);
    EXPECT_EQ(profile::EncodingOf("[DISP]\r\n"), profile::Encoding::Cp932);
    EXPECT_EQ(profile::EncodingOf(kUtf8Mark + "[DISP]"), profile::Encoding::Utf8);
    EXPECT_EQ(profile::EncodingOf(kLE), profile::Encoding::Utf16LE);
    EXPECT_EQ(profile::EncodingOf(kBE + Utf16(u"[", true)), profile::Encoding::Utf16BE);
    EXPECT_EQ(profile::EncodingOf("\xFF"), profile::Encoding::Cp932);
}

TEST(Encodings, Utf16ReadInEitherByteOrder) {
    const std::u16string text = u"\uFEFF[disp]\r\n dsize = \u0035\u0037\uFF72\uFF9D\uFF81 \r\n"
                                u"[PRINTER]\r\nPAGE=\u30BD\U0001F5A8\r\n";
    // The bytes of each order, as another editor writes them.
    EXPECT_EQ(Utf16(u"[\u30BD"), std::string("[\0\xBD\x30", 4));
    EXPECT_EQ(Utf16(u"[\u30BD", true), std::string("\0[\x30\xBD", 4));
    for (const bool big : {false, true}) {
        const std::string file = Utf16(text, big);
        EXPECT_EQ(profile::GetString(file, Utf16(u"DISP", big), Utf16(u"DSIZE", big)),
                  Utf16(u"57\uFF72\uFF9D\uFF81", big));
        EXPECT_EQ(profile::GetString(file, Utf16(u"PRINTER", big), Utf16(u"PAGE", big)),
                  Utf16(u"\u30BD\U0001F5A8", big));
        // Cut in units, never inside a surrogate pair.
        EXPECT_EQ(profile::GetString(file, Utf16(u"PRINTER", big), Utf16(u"PAGE", big), 3),
                  Utf16(u"\u30BD", big));
        EXPECT_EQ(profile::GetString(file, Utf16(u"PRINTER", big), Utf16(u"PSIZE", big)), "");
        // The code-page-932 bytes of a name are no UTF-16 name.
        EXPECT_EQ(profile::GetString(file, "DISP", "DSIZE"), "");
    }
}

TEST(Encodings, Utf8ReadWithWholeCharacters) {
    const std::string file = kUtf8Mark + "[DISP]\r\nDSIZE=" + k57Utf8 + "\r\n";
    EXPECT_EQ(profile::GetString(file, "DISP", "DSIZE"), k57Utf8);
    // Room for 57 and one byte of ｲ: the character goes as a whole.
    EXPECT_EQ(profile::GetString(file, "DISP", "DSIZE", 5), "57");
    EXPECT_EQ(profile::GetString(file, "DISP", "DSIZE", 6), "57\xEF\xBD\xB2");
    // A UTF-8 lead byte is no code-page-932 lead byte: the ']' after it closes the name.
    EXPECT_EQ(profile::GetString(kUtf8Mark + "[A\xE3]\r\nK=v\r\n", "A\xE3", "K"), "v");
}

TEST(Encodings, LoneCarriageReturnEndsALine) {
    const std::string file = "[DISP]\rDSIZE=" + k57 + "\r[PRINTER]\rPAGE=2\r";
    EXPECT_EQ(profile::GetString(file, "DISP", "DSIZE"), k57);
    EXPECT_EQ(profile::GetString(file, "PRINTER", "PAGE"), "2");
    EXPECT_EQ(profile::GetString(file, "DISP", "PAGE"), "");
    EXPECT_EQ(profile::SetString(file, "DISP", "DSIZE", k42),
              "[DISP]\rDSIZE=" + k42 + "\r[PRINTER]\rPAGE=2\r");
    EXPECT_EQ(profile::SetString(file, "PRINTER", "PSIZE", "A3"),
              "[DISP]\rDSIZE=" + k57 + "\r[PRINTER]\rPAGE=2\rPSIZE=A3\r\n");
    EXPECT_EQ(profile::SetString(file, "NEW", "K", "v"), file + "[NEW]\r\nK=v\r\n");
    const std::string utf16 = Utf16(u"\uFEFF[P]\rK=1\rX=2");
    EXPECT_EQ(profile::GetString(utf16, Utf16(u"P"), Utf16(u"X")), Utf16(u"2"));
}

// Whatever is written goes in the file's own encoding, so the file never holds two.
TEST(Encodings, WrittenInTheFilesOwnEncoding) {
    for (const bool big : {false, true}) {
        const auto u = [big](std::u16string_view text) { return Utf16(text, big); };
        std::string file = u(u"\uFEFF; \u30E1\u30E2\n[DISP]\nDSIZE=1");
        file = profile::SetString(file, u(u"DISP"), u(u"DSIZE"), u(u"57\uFF72\uFF9D\uFF81"));
        file = profile::SetString(file, u(u"PRINTER"), u(u"PSIZE"), u(u"A4"));
        file = profile::SetString(file, u(u"PRINTER"), u(u"PAGE"), u(u"3\r\n[X]"));
        EXPECT_EQ(file, u(u"\uFEFF; \u30E1\u30E2\n[DISP]\nDSIZE=57\uFF72\uFF9D\uFF81\r\n"
                          u"[PRINTER]\r\nPSIZE=A4\r\nPAGE=3\r\n"));
        // A mark alone is an empty file of that encoding.
        EXPECT_EQ(profile::SetString(u(u"\uFEFF"), u(u"P"), u(u"K"), u(u"v")),
                  u(u"\uFEFF[P]\r\nK=v\r\n"));
        // A last odd byte becomes a unit of its own, so that what follows stays in step.
        const std::string odd = u(u"\uFEFF[P]\r\nK=1\r\n") + "x";
        EXPECT_EQ(profile::SetString(odd, u(u"Q"), u(u"K"), u(u"2")).size() % 2, 0u);
    }
    EXPECT_EQ(profile::SetString(kUtf8Mark, "DISP", "DSIZE", k57Utf8),
              kUtf8Mark + "[DISP]\r\nDSIZE=" + k57Utf8 + "\r\n");
    EXPECT_EQ(profile::SetString(kUtf8Mark + "[DISP]\r\nDSIZE=1\r\n", "disp", "dsize", k57Utf8),
              kUtf8Mark + "[DISP]\r\nDSIZE=" + k57Utf8 + "\r\n");
}

} // namespace
