// profile::SetString on arbitrary file bytes, names and values, in every encoding a file can name
// by its mark (UTF-16 files get the names and the value with each byte as one unit).
// Input: section NUL key NUL value NUL file bytes.
// Properties, in the units of the file's encoding: everything but the changed value or the added
// lines is kept unit for unit, and what is added is in the same encoding; with names the program
// could use and a plain value, the value reads back and a second write changes nothing.
#include "fuzz_check.h"
#include "settings/profile.h"

#include <string>

namespace {

using Units = std::u16string_view;

struct Line {
    Units content; // without the line end
    Units end;     // CR LF, LF or CR; empty on an unterminated last line
};

std::vector<Line> SplitLines(Units text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t c = text.find_first_of(u"\r\n");
        if (c == Units::npos) {
            lines.push_back({text, {}});
            break;
        }
        const std::size_t endLength = text.substr(c, 2) == u"\r\n" ? 2 : 1;
        lines.push_back({text.substr(0, c), text.substr(c, endLength)});
        text.remove_prefix(c + endLength);
    }
    return lines;
}

bool SameLine(const Line &a, const Line &b) {
    return a.content == b.content && a.end == b.end;
}

// The same lines but one, which is the old one up to its first '=' (or all of it and a '=')
// followed by the value, with the same line end.
bool OnlyValueChanged(const std::vector<Line> &before, const std::vector<Line> &after,
                      Units value) {
    std::size_t i = 0;
    while (i < before.size() && SameLine(before[i], after[i]))
        ++i;
    if (i == before.size()) return true;
    for (std::size_t j = i + 1; j < before.size(); ++j)
        if (!SameLine(before[j], after[j])) return false;
    const Line &was = before[i], &now = after[i];
    const std::size_t eq = was.content.find(u'=');
    const Units kept = eq == Units::npos ? was.content : was.content.substr(0, eq + 1);
    std::u16string expected(kept);
    if (eq == Units::npos) expected += u'=';
    expected.append(value);
    return was.end == now.end && now.content == expected;
}

bool IsLineEnd(char16_t u) {
    return u == u'\r' || u == u'\n';
}

// Whether `out` is `file` with `inserted` put in at the start of a line (at the very end when
// `atEnd`), a last line without a line end getting a CR LF first (a file of its mark alone
// counts as empty).
bool IsInsertion(Units file, Units out, Units inserted, bool atEnd, std::size_t markUnits) {
    std::size_t prefix = 0, suffix = 0;
    while (prefix < file.size() && prefix < out.size() && file[prefix] == out[prefix])
        ++prefix;
    while (suffix < file.size() && suffix < out.size() &&
           file[file.size() - 1 - suffix] == out[out.size() - 1 - suffix])
        ++suffix;
    // out[0, k) is file[0, k) and the rest of the file ends out: k lies in [size - suffix, prefix].
    const std::size_t from = atEnd ? file.size() : file.size() - suffix;
    for (std::size_t k = from; k <= prefix && k <= file.size(); ++k) {
        const bool lineStart = k == 0 || file[k - 1] == u'\n' ||
                               (file[k - 1] == u'\r' && (k == file.size() || file[k] != u'\n'));
        if (k != file.size() && !lineStart) continue;
        const bool lineEndFirst = k == file.size() && k > markUnits && !IsLineEnd(file[k - 1]);
        std::u16string middle = lineEndFirst ? u"\r\n" : u"";
        middle.append(inserted);
        if (out.size() == file.size() + middle.size() && out.substr(k, middle.size()) == middle)
            return true;
    }
    return false;
}

bool IsLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrail(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// A name the program could use: letters, digits, '_' and whole double-byte characters of code
// page 932; in the other encodings any byte from 0x80 up (there a trail byte could be a ']').
bool IsPlainName(std::string_view name, bool cp932) {
    if (name.empty()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_')
            continue;
        if (!cp932 && b >= 0x80) continue;
        if (cp932 && IsLead(b) && i + 1 < name.size() &&
            IsTrail(static_cast<unsigned char>(name[i + 1]))) {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

// A value that the reader gives back unchanged: no surrounding blanks, no enclosing quotes, and
// short enough for the default buffer.
bool IsPlainValue(Units v) {
    if (v.size() >= 500) return false;
    if (v.empty()) return true;
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    if (blank(v.front()) || blank(v.back())) return false;
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const auto f = fuzz::SplitFields(data, size, 3);
    const std::string_view fileBytes = f[3];
    const fuzz::ProfileText text(fileBytes);
    const std::string section = text.Field(f[0]), key = text.Field(f[1]),
                      rawValue = text.Field(f[2]);

    const std::string outBytes = profile::SetString(fileBytes, section, key, rawValue);
    if (text.utf16) FUZZ_CHECK(outBytes.size() % 2 == 0);
    // The same mark: what was added is read in the encoding of the rest.
    FUZZ_CHECK(profile::EncodingOf(outBytes) == profile::EncodingOf(fileBytes));

    const std::u16string file = text.Units(fileBytes), out = text.Units(outBytes);
    const std::u16string value =
        text.Units(rawValue).substr(0, text.Units(rawValue).find_first_of(u"\r\n"));
    const std::vector<Line> before = SplitLines(file), after = SplitLines(out);
    const std::u16string keyLine = text.Units(key) + u"=" + value + u"\r\n";
    if (after.size() == before.size()) {
        // The key was there: only its line changed, and only after its '='.
        FUZZ_CHECK(OnlyValueChanged(before, after, value));
    } else {
        // A key line added in its section, or a new section with it at the end.
        const std::u16string newSection = u"[" + text.Units(section) + u"]\r\n" + keyLine;
        FUZZ_CHECK(IsInsertion(file, out, keyLine, false, text.markUnits) ||
                   IsInsertion(file, out, newSection, true, text.markUnits));
    }

    const bool cp932 = !text.utf16 && text.markUnits == 0;
    if (IsPlainName(f[0], cp932) && IsPlainName(f[1], cp932) && IsPlainValue(value)) {
        FUZZ_CHECK(text.Units(profile::GetString(outBytes, section, key)) == value);
        FUZZ_CHECK(profile::SetString(outBytes, section, key, rawValue) == outBytes);
    }
    return 0;
}
