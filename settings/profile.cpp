#include "profile.h"

#include <algorithm>

namespace profile {
namespace {

template <class Unit> using Text = std::basic_string_view<Unit>;

unsigned Code(char u) {
    return static_cast<unsigned char>(u);
}
unsigned Code(char16_t u) {
    return u;
}

// What differs between the encodings: the unit, how long a character is, and the mark before
// the first line.
struct Cp932 {
    using Unit = char;
    static constexpr std::size_t kMarkUnits = 0;
    static bool IsLead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
    static bool IsTrail(unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }
    // 2 for a lead byte followed by a trail byte before `end`.
    static std::size_t CharLength(Text<Unit> s, std::size_t i, std::size_t end) {
        return (IsLead(Code(s[i])) && i + 1 < end && IsTrail(Code(s[i + 1]))) ? 2 : 1;
    }
};

struct Utf8 {
    using Unit = char;
    static constexpr std::size_t kMarkUnits = 3;
    // A lead byte with all its continuation bytes before `end`; anything else is one byte.
    static std::size_t CharLength(Text<Unit> s, std::size_t i, std::size_t end) {
        const unsigned b = Code(s[i]);
        const std::size_t n = (b >= 0xC2 && b <= 0xDF)   ? 2
                              : (b >= 0xE0 && b <= 0xEF) ? 3
                              : (b >= 0xF0 && b <= 0xF4) ? 4
                                                         : 1;
        if (n == 1 || i + n > end) return 1;
        for (std::size_t k = 1; k < n; ++k) {
            if ((Code(s[i + k]) & 0xC0) != 0x80) return 1;
        }
        return n;
    }
};

struct Utf16 {
    using Unit = char16_t;
    static constexpr std::size_t kMarkUnits = 1;
    static std::size_t CharLength(Text<Unit> s, std::size_t i, std::size_t end) {
        const unsigned u = s[i];
        return (u >= 0xD800 && u <= 0xDBFF && i + 1 < end && s[i + 1] >= 0xDC00 &&
                s[i + 1] <= 0xDFFF)
                   ? 2
                   : 1;
    }
};

template <class Unit> bool IsBlank(Unit u) {
    return u == Unit(' ') || u == Unit('\t');
}

template <class Unit> unsigned FoldAscii(Unit u) {
    const unsigned c = Code(u);
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

// ASCII case-insensitive comparison that leaves characters of several units alone: the second
// byte of a code-page-932 character may fall in the range of ASCII letters.
template <class R> bool NamesEqual(Text<typename R::Unit> inFile, Text<typename R::Unit> wanted) {
    if (inFile.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < inFile.size();) {
        const std::size_t n = R::CharLength(inFile, i, inFile.size());
        if (n > 1) {
            if (inFile.substr(i, n) != wanted.substr(i, n)) return false;
        } else if (FoldAscii(inFile[i]) != FoldAscii(wanted[i])) {
            return false;
        }
        i += n;
    }
    return true;
}

enum class LineKind { Blank, Comment, Section, Key };

struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0; // before the line end
    std::size_t end = 0;        // start of the next line
    bool terminated = false;    // ends in CR LF, LF or CR
    LineKind kind = LineKind::Blank;
    std::size_t nameBegin = 0, nameEnd = 0;
    bool hasEquals = false;
    std::size_t equals = 0;
};

template <class R> Line ParseLine(Text<typename R::Unit> file, std::size_t begin) {
    using Unit = typename R::Unit;
    static constexpr Unit kEnds[] = {Unit('\r'), Unit('\n')};
    Line line;
    line.begin = begin;
    // CR and LF are never part of a character of several units.
    std::size_t end = file.find_first_of(Text<Unit>(kEnds, 2), begin);
    line.terminated = end != Text<Unit>::npos;
    if (!line.terminated) end = file.size();
    line.contentEnd = end;
    line.end = end;
    if (line.terminated) {
        line.end = (file[end] == Unit('\r') && end + 1 < file.size() && file[end + 1] == Unit('\n'))
                       ? end + 2
                       : end + 1;
    }

    std::size_t p = begin == 0 ? std::min(R::kMarkUnits, end) : begin;
    while (p < end && IsBlank(file[p]))
        ++p;
    if (p == end) return line;

    if (file[p] == Unit(';')) {
        line.kind = LineKind::Comment;
        return line;
    }
    if (file[p] == Unit('[')) {
        std::size_t i = p + 1;
        while (i < end && file[i] != Unit(']'))
            i += R::CharLength(file, i, end);
        if (i < end) {
            std::size_t nb = p + 1, ne = i;
            while (nb < ne && IsBlank(file[nb]))
                ++nb;
            while (ne > nb && IsBlank(file[ne - 1]))
                --ne;
            line.kind = LineKind::Section;
            line.nameBegin = nb;
            line.nameEnd = ne;
            return line;
        }
        // No closing bracket: an ordinary line, as the platform treats it.
    }
    line.kind = LineKind::Key;
    line.nameBegin = p;
    // Only within the line: searching on would make a file of lines without '=' quadratic. '='
    // is never part of a character of several units either.
    const std::size_t eq = file.substr(0, end).find(Unit('='), p);
    line.hasEquals = eq < end;
    line.equals = line.hasEquals ? eq : end;
    std::size_t ne = line.equals;
    while (ne > p && IsBlank(file[ne - 1]))
        --ne;
    line.nameEnd = ne;
    return line;
}

template <class Unit> Text<Unit> Name(Text<Unit> file, const Line &line) {
    return file.substr(line.nameBegin, line.nameEnd - line.nameBegin);
}

struct Lookup {
    bool sectionFound = false;
    Line header;
    bool keyFound = false;
    Line key;
    bool hasLastKey = false; // last key line of the section, when the key itself is missing
    Line lastKey;
};

// The first section named `section`, and the first key named `key` inside it.
template <class R>
Lookup Find(Text<typename R::Unit> file, Text<typename R::Unit> section,
            Text<typename R::Unit> key) {
    Lookup found;
    for (std::size_t pos = 0; pos < file.size();) {
        const Line line = ParseLine<R>(file, pos);
        pos = line.end;
        if (!found.sectionFound) {
            if (line.kind == LineKind::Section && NamesEqual<R>(Name(file, line), section)) {
                found.sectionFound = true;
                found.header = line;
            }
            continue;
        }
        if (line.kind == LineKind::Section) break;
        if (line.kind != LineKind::Key) continue;
        if (NamesEqual<R>(Name(file, line), key)) {
            found.keyFound = true;
            found.key = line;
            break;
        }
        found.hasLastKey = true;
        found.lastKey = line;
    }
    return found;
}

template <class Unit> void AppendAscii(std::basic_string<Unit> &out, const char *ascii) {
    for (; *ascii != '\0'; ++ascii)
        out += Unit(*ascii);
}

template <class R>
std::basic_string<typename R::Unit> Get(Text<typename R::Unit> file, Text<typename R::Unit> section,
                                        Text<typename R::Unit> key, std::size_t bufferSize) {
    using Unit = typename R::Unit;
    if (bufferSize < 2) return {};
    const Lookup found = Find<R>(file, section, key);
    if (!found.keyFound || !found.key.hasEquals) return {};

    std::size_t b = found.key.equals + 1, e = found.key.contentEnd;
    while (b < e && IsBlank(file[b]))
        ++b;
    while (e > b && IsBlank(file[e - 1]))
        --e;
    if (e - b >= 2 && (file[b] == Unit('"') || file[b] == Unit('\'')) && file[e - 1] == file[b]) {
        ++b;
        --e;
    }
    Text<Unit> value = file.substr(b, e - b);
    value = value.substr(0, value.find(Unit(0))); // the platform hands the value over as a C string

    const std::size_t limit = bufferSize - 1;
    if (value.size() > limit) {
        std::size_t cut = 0;
        while (cut < value.size()) {
            const std::size_t next = cut + R::CharLength(value, cut, value.size());
            if (next > limit) break;
            cut = next;
        }
        value = value.substr(0, cut);
    }
    return std::basic_string<Unit>(value);
}

template <class R>
std::basic_string<typename R::Unit> Set(Text<typename R::Unit> file, Text<typename R::Unit> section,
                                        Text<typename R::Unit> key, Text<typename R::Unit> value) {
    using Unit = typename R::Unit;
    static constexpr Unit kCut[] = {Unit('\r'), Unit('\n'), Unit(0)};
    value = value.substr(0, value.find_first_of(Text<Unit>(kCut, 3)));
    const Lookup found = Find<R>(file, section, key);
    std::basic_string<Unit> keyLine(key);
    keyLine += Unit('=');
    keyLine.append(value);
    AppendAscii(keyLine, "\r\n");

    std::basic_string<Unit> out;
    out.reserve(file.size() + section.size() + keyLine.size() + 6);
    if (found.keyFound) {
        const Line &line = found.key;
        if (line.hasEquals) {
            out.append(file.substr(0, line.equals + 1));
        } else {
            out.append(file.substr(0, line.contentEnd)) += Unit('=');
        }
        out.append(value).append(file.substr(line.contentEnd));
        return out;
    }

    if (found.sectionFound) {
        const Line &anchor = found.hasLastKey ? found.lastKey : found.header;
        out.append(file.substr(0, anchor.end));
        if (!anchor.terminated) AppendAscii(out, "\r\n");
        out.append(keyLine).append(file.substr(anchor.end));
        return out;
    }

    out.append(file);
    const bool onlyMark = file.size() <= R::kMarkUnits;
    if (!onlyMark && file.back() != Unit('\n') && file.back() != Unit('\r')) {
        AppendAscii(out, "\r\n");
    }
    out += Unit('[');
    out.append(section);
    AppendAscii(out, "]\r\n");
    out.append(keyLine);
    return out;
}

// op(R{}, units) for the file's encoding R, units(text) giving a text's units in it; the result
// in the file's bytes.
template <class Op> std::string InFileUnits(std::string_view file, const Op &op) {
    switch (const Encoding encoding = EncodingOf(file)) {
    case Encoding::Cp932:
        return op(Cp932{}, [](std::string_view text) { return text; });
    case Encoding::Utf8:
        return op(Utf8{}, [](std::string_view text) { return text; });
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
        const bool big = encoding == Encoding::Utf16BE;
        return Utf16Bytes(
            op(Utf16{}, [big](std::string_view text) { return Utf16Units(text, big); }), big);
    }
    }
    return {};
}

} // namespace

std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve((bytes.size() + 1) / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const unsigned first = Code(bytes[i]);
        const unsigned second = i + 1 < bytes.size() ? Code(bytes[i + 1]) : 0;
        units += static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    return units;
}

std::string Utf16Bytes(std::u16string_view units, bool bigEndian) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (const char16_t u : units) {
        const char low = static_cast<char>(u & 0xFF), high = static_cast<char>(u >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

Encoding EncodingOf(std::string_view file) {
    if (file.substr(0, 3) == "\xEF\xBB\xBF") return Encoding::Utf8;
    if (file.substr(0, 2) == "\xFF\xFE") return Encoding::Utf16LE;
    if (file.substr(0, 2) == "\xFE\xFF") return Encoding::Utf16BE;
    return Encoding::Cp932;
}

std::string GetString(std::string_view file, std::string_view section, std::string_view key,
                      std::size_t bufferSize) {
    return InFileUnits(file, [&](auto encoding, const auto &units) {
        return Get<decltype(encoding)>(units(file), units(section), units(key), bufferSize);
    });
}

std::string SetString(std::string_view file, std::string_view section, std::string_view key,
                      std::string_view value) {
    return InFileUnits(file, [&](auto encoding, const auto &units) {
        return Set<decltype(encoding)>(units(file), units(section), units(key), units(value));
    });
}

} // namespace profile
