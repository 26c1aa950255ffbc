#include "profile.h"

namespace profile {
namespace {

using Bytes = std::string_view;

unsigned char At(Bytes s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}

bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
bool IsBlank(unsigned char b) {
    return b == ' ' || b == '\t';
}

// Length of the character at i: 2 for a lead byte followed by a trail byte before `end`.
std::size_t CharLength(Bytes s, std::size_t i, std::size_t end) {
    return (IsLeadByte(At(s, i)) && i + 1 < end && IsTrailByte(At(s, i + 1))) ? 2 : 1;
}

unsigned char FoldAscii(unsigned char b) {
    return (b >= 'a' && b <= 'z') ? static_cast<unsigned char>(b - 'a' + 'A') : b;
}

// ASCII case-insensitive comparison that leaves both bytes of a double-byte character alone:
// their second byte may fall in the range of ASCII letters.
bool NamesEqual(Bytes inFile, Bytes wanted) {
    if (inFile.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < inFile.size();) {
        if (CharLength(inFile, i, inFile.size()) == 2) {
            if (inFile[i] != wanted[i] || inFile[i + 1] != wanted[i + 1]) return false;
            i += 2;
        } else {
            if (FoldAscii(At(inFile, i)) != FoldAscii(At(wanted, i))) return false;
            ++i;
        }
    }
    return true;
}

enum class LineKind { Blank, Comment, Section, Key };

struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0; // before the line end (CR LF, LF, or trailing CRs at the end)
    std::size_t end = 0;        // start of the next line
    bool terminated = false;    // ends in LF
    LineKind kind = LineKind::Blank;
    std::size_t nameBegin = 0, nameEnd = 0;
    bool hasEquals = false;
    std::size_t equals = 0;
};

Line ParseLine(Bytes file, std::size_t begin) {
    Line line;
    line.begin = begin;
    std::size_t eol = file.find('\n', begin); // 0x0A is never the second byte of a character
    line.terminated = eol != Bytes::npos;
    if (!line.terminated) eol = file.size();
    line.end = line.terminated ? eol + 1 : eol;
    std::size_t end = eol;
    while (end > begin && file[end - 1] == '\r')
        --end;
    line.contentEnd = end;

    std::size_t p = begin;
    if (begin == 0 && file.substr(0, 3) == "\xEF\xBB\xBF") p = 3;
    while (p < end && IsBlank(At(file, p)))
        ++p;
    if (p == end) return line;

    if (file[p] == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    if (file[p] == '[') {
        std::size_t i = p + 1;
        while (i < end && file[i] != ']')
            i += CharLength(file, i, end);
        if (i < end) {
            std::size_t nb = p + 1, ne = i;
            while (nb < ne && IsBlank(At(file, nb)))
                ++nb;
            while (ne > nb && IsBlank(At(file, ne - 1)))
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
    // is never the second byte of a character either.
    std::size_t eq = file.substr(0, end).find('=', p);
    line.hasEquals = eq < end;
    line.equals = line.hasEquals ? eq : end;
    std::size_t ne = line.equals;
    while (ne > p && IsBlank(At(file, ne - 1)))
        --ne;
    line.nameEnd = ne;
    return line;
}

Bytes Name(Bytes file, const Line &line) {
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
Lookup Find(Bytes file, Bytes section, Bytes key) {
    Lookup found;
    for (std::size_t pos = 0; pos < file.size();) {
        Line line = ParseLine(file, pos);
        pos = line.end;
        if (!found.sectionFound) {
            if (line.kind == LineKind::Section && NamesEqual(Name(file, line), section)) {
                found.sectionFound = true;
                found.header = line;
            }
            continue;
        }
        if (line.kind == LineKind::Section) break;
        if (line.kind != LineKind::Key) continue;
        if (NamesEqual(Name(file, line), key)) {
            found.keyFound = true;
            found.key = line;
            break;
        }
        found.hasLastKey = true;
        found.lastKey = line;
    }
    return found;
}

std::string KeyLine(Bytes key, Bytes value) {
    std::string text;
    text.reserve(key.size() + value.size() + 3);
    text.append(key).append(1, '=').append(value).append("\r\n");
    return text;
}

} // namespace

std::string GetString(std::string_view file, std::string_view section, std::string_view key,
                      std::size_t bufferSize) {
    if (bufferSize < 2) return {};
    const Lookup found = Find(file, section, key);
    if (!found.keyFound || !found.key.hasEquals) return {};

    std::size_t b = found.key.equals + 1, e = found.key.contentEnd;
    while (b < e && IsBlank(At(file, b)))
        ++b;
    while (e > b && IsBlank(At(file, e - 1)))
        --e;
    if (e - b >= 2 && (file[b] == '"' || file[b] == '\'') && file[e - 1] == file[b]) {
        ++b;
        --e;
    }
    Bytes value = file.substr(b, e - b);
    value = value.substr(0, value.find('\0')); // the platform hands the value over as a C string

    const std::size_t limit = bufferSize - 1;
    if (value.size() > limit) {
        std::size_t cut = 0;
        while (cut < value.size()) {
            std::size_t next = cut + CharLength(value, cut, value.size());
            if (next > limit) break;
            cut = next;
        }
        value = value.substr(0, cut);
    }
    return std::string(value);
}

std::string SetString(std::string_view file, std::string_view section, std::string_view key,
                      std::string_view value) {
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    const Lookup found = Find(file, section, key);
    std::string out;
    out.reserve(file.size() + section.size() + key.size() + value.size() + 8);

    if (found.keyFound) {
        const Line &line = found.key;
        if (line.hasEquals) {
            out.append(file.substr(0, line.equals + 1));
        } else {
            out.append(file.substr(0, line.contentEnd)).append(1, '=');
        }
        out.append(value).append(file.substr(line.contentEnd));
        return out;
    }

    if (found.sectionFound) {
        const Line &anchor = found.hasLastKey ? found.lastKey : found.header;
        out.append(file.substr(0, anchor.end));
        if (!anchor.terminated) out.append("\r\n");
        out.append(KeyLine(key, value)).append(file.substr(anchor.end));
        return out;
    }

    out.append(file);
    if (!file.empty() && file.back() != '\n') out.append("\r\n");
    out.append(1, '[').append(section).append("]\r\n").append(KeyLine(key, value));
    return out;
}

} // namespace profile
