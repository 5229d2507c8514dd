// Registry data in the forms the Registry natives exchange with Java: texts as UTF-16 code
// units in little-endian byte order, lists of texts as REG_MULTI_SZ lays them out, and numbers
// in their stored byte order. Portable, so that every form of stored data can be tried on the
// host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace natives::registry {

// The data as UTF-16 code units; an odd last byte is no unit.
std::wstring unitsOf(const std::vector<unsigned char>& data);
// REG_SZ and REG_EXPAND_SZ data as text, one terminating NUL dropped.
std::wstring textOf(const std::vector<unsigned char>& data);
// REG_MULTI_SZ data as its texts, up to the final terminator (an empty text) or the end.
std::vector<std::wstring> multiStringOf(const std::vector<unsigned char>& data);
// REG_DWORD and REG_QWORD data: the first `size` bytes, little-endian; missing bytes are zeros.
uint64_t numberOf(const std::vector<unsigned char>& data, size_t size);

// Appends UTF-16 code units (each wchar_t's low 16 bits) in little-endian order.
void appendUnits(std::vector<unsigned char>& bytes, std::wstring_view units);
// Appends the low `size` bytes of a number, little-endian.
void appendNumber(std::vector<unsigned char>& bytes, uint64_t number, size_t size);

}  // namespace natives::registry
