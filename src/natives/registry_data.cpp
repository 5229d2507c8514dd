#include "natives/registry_data.h"

namespace natives::registry {

std::wstring unitsOf(const std::vector<unsigned char>& data) {
    std::wstring units(data.size() / 2, L'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return units;
}

std::wstring textOf(const std::vector<unsigned char>& data) {
    std::wstring text = unitsOf(data);
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::vector<std::wstring> multiStringOf(const std::vector<unsigned char>& data) {
    const std::wstring units = unitsOf(data);
    std::vector<std::wstring> texts;
    for (size_t start = 0; start < units.size();) {
        size_t end = units.find(L'\0', start);
        if (end == std::wstring::npos) end = units.size();
        if (end == start) break;  // the final terminator
        texts.emplace_back(units, start, end - start);
        start = end + 1;
    }
    return texts;
}

uint64_t numberOf(const std::vector<unsigned char>& data, size_t size) {
    uint64_t value = 0;
    for (size_t i = 0; i < size && i < data.size() && i < sizeof value; ++i) {
        value |= static_cast<uint64_t>(data[i]) << (8 * i);
    }
    return value;
}

void appendUnits(std::vector<unsigned char>& bytes, std::wstring_view units) {
    for (const wchar_t unit : units) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
    }
}

void appendNumber(std::vector<unsigned char>& bytes, uint64_t number, size_t size) {
    for (size_t i = 0; i < size && i < sizeof number; ++i) bytes.push_back(static_cast<unsigned char>(number >> (8 * i)));
}

}  // namespace natives::registry
