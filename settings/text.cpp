#include "settings/text.h"

#include <windows.h>

#include <climits>

namespace {

constexpr UINT kCp932 = 932;

std::string ToCodePage(UINT codePage, std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const int written =
        WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return bytes;
}

std::wstring FromCodePage(UINT codePage, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > INT_MAX) return {};
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    const int written = MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), size);
    text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return text;
}

} // namespace

std::string ToCp932(std::wstring_view text) {
    return ToCodePage(kCp932, text);
}

std::wstring FromCp932(std::string_view bytes) {
    return FromCodePage(kCp932, bytes);
}

std::string ToUtf8(std::wstring_view text) {
    return ToCodePage(CP_UTF8, text);
}

std::wstring FromUtf8(std::string_view bytes) {
    return FromCodePage(CP_UTF8, bytes);
}

std::wstring Trim(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) return {};
    const std::size_t last = text.find_last_not_of(L' ');
    return std::wstring(text.substr(first, last - first + 1));
}
