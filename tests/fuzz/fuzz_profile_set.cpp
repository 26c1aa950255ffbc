// profile::SetString on arbitrary file bytes, names and values.
// Input: section NUL key NUL value NUL file bytes.
// Properties: everything but the changed value or the added lines is kept byte for byte; with names
// the program could use and a plain value, the value reads back and a second write changes
// nothing.
#include "fuzz_check.h"
#include "settings/profile.h"

#include <string>

namespace {

using Bytes = std::string_view;

struct Line {
    Bytes content; // without the line end
    Bytes end;     // trailing CRs and the LF; empty on an unterminated last line
};

std::vector<Line> SplitLines(Bytes text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        Bytes whole = lf == Bytes::npos ? text : text.substr(0, lf + 1);
        text.remove_prefix(whole.size());
        std::size_t c = lf == Bytes::npos ? whole.size() : lf;
        while (c > 0 && whole[c - 1] == '\r')
            --c;
        lines.push_back({whole.substr(0, c), whole.substr(c)});
    }
    return lines;
}

bool SameLine(const Line &a, const Line &b) {
    return a.content == b.content && a.end == b.end;
}

// The same lines but one, which is the old one up to its first '=' (or all of it and a '=')
// followed by the value, with the same line end.
bool OnlyValueChanged(const std::vector<Line> &before, const std::vector<Line> &after,
                      Bytes value) {
    std::size_t i = 0;
    while (i < before.size() && SameLine(before[i], after[i]))
        ++i;
    if (i == before.size()) return true;
    for (std::size_t j = i + 1; j < before.size(); ++j)
        if (!SameLine(before[j], after[j])) return false;
    const Line &was = before[i], &now = after[i];
    const std::size_t eq = was.content.find('=');
    const Bytes kept = eq == Bytes::npos ? was.content : was.content.substr(0, eq + 1);
    std::string expected(kept);
    if (eq == Bytes::npos) expected += '=';
    expected.append(value);
    return was.end == now.end && now.content == expected;
}

// Whether `out` is `file` with `inserted` put in at the start of a line (at the very end when
// `atEnd`), a last line without a line end getting a CR LF first.
bool IsInsertion(Bytes file, Bytes out, Bytes inserted, bool atEnd) {
    std::size_t prefix = 0, suffix = 0;
    while (prefix < file.size() && prefix < out.size() && file[prefix] == out[prefix])
        ++prefix;
    while (suffix < file.size() && suffix < out.size() &&
           file[file.size() - 1 - suffix] == out[out.size() - 1 - suffix])
        ++suffix;
    // out[0, k) is file[0, k) and the rest of the file ends out: k lies in [size - suffix, prefix].
    const std::size_t from = atEnd ? file.size() : file.size() - suffix;
    for (std::size_t k = from; k <= prefix && k <= file.size(); ++k) {
        if (k != 0 && k != file.size() && file[k - 1] != '\n') continue;
        const bool lineEndFirst = k == file.size() && k != 0 && file[k - 1] != '\n';
        std::string middle = lineEndFirst ? "\r\n" : "";
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

// A name the program could use: letters, digits, '_' and whole double-byte characters.
bool IsPlainName(Bytes name) {
    if (name.empty()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_')
            continue;
        if (IsLead(b) && i + 1 < name.size() && IsTrail(static_cast<unsigned char>(name[i + 1]))) {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

// A value that the reader gives back unchanged: no surrounding blanks, no enclosing quotes, and
// short enough for the default buffer.
bool IsPlainValue(Bytes v) {
    if (v.size() >= 500) return false;
    if (v.empty()) return true;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(v.front()) || blank(v.back())) return false;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const auto f = fuzz::SplitFields(data, size, 3);
    const Bytes section = f[0], key = f[1], rawValue = f[2], file = f[3];
    const Bytes value = rawValue.substr(0, rawValue.find_first_of(Bytes("\r\n\0", 3)));

    const std::string out = profile::SetString(file, section, key, rawValue);

    const std::vector<Line> before = SplitLines(file), after = SplitLines(out);
    const std::string keyLine = std::string(key) + "=" + std::string(value) + "\r\n";
    if (after.size() == before.size()) {
        // The key was there: only its line changed, and only after its '='.
        FUZZ_CHECK(OnlyValueChanged(before, after, value));
    } else {
        // A key line added in its section, or a new section with it at the end.
        const std::string newSection = "[" + std::string(section) + "]\r\n" + keyLine;
        FUZZ_CHECK(IsInsertion(file, out, keyLine, false) ||
                   IsInsertion(file, out, newSection, true));
    }

    if (IsPlainName(section) && IsPlainName(key) && IsPlainValue(value)) {
        FUZZ_CHECK(profile::GetString(out, section, key) == value);
        FUZZ_CHECK(profile::SetString(out, section, key, rawValue) == out);
    }
    return 0;
}
