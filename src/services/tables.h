// The process-wide config and message tables, filled once from the payload before any second
// thread exists and read-only afterwards. Absent ids read as empty text or 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace services {

using ConfigTable = std::map<int32_t, std::string>;
using MessageTable = std::map<int32_t, std::wstring>;

// Buffer size of the launcher's fixed path and message buffers; config values read through
// the bounded accessors are cut to one less than this.
constexpr size_t kTextBufferSize = 6000;

void setConfigTable(ConfigTable table);
void setMessageTable(MessageTable table);
const ConfigTable& configTable();
const MessageTable& messageTable();

// The value as decimal integer (C atoi rules) after copying it into a 6000-character buffer,
// so that an overlong value is cut and the cut is logged.
int configInteger(int32_t id);
// Copies at most size - 1 characters and a terminator; logs "ERROR: config string ..." when
// the value was longer. Returns the number of characters copied.
size_t configCopy(int32_t id, char* buffer, size_t size);
// A copy of the whole value; empty when absent.
std::string configString(int32_t id);
// The value converted to wide text, at most `limit` characters.
std::wstring configWide(int32_t id, size_t limit = kTextBufferSize);
void configAppendNarrow(int32_t id, std::string& text);
void configAppendWide(int32_t id, std::wstring& text);
// The message table's text; empty when absent.
std::wstring messageEntry(int32_t id);
// The message table's text, or the config table's when the message is absent or empty.
std::wstring messageText(int32_t id);

}  // namespace services
