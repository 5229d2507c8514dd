#include "services/tables.h"

#include <utility>

#include "base/text.h"
#include "services/log.h"

namespace services {

namespace {

ConfigTable& configStorage() {
    static ConfigTable table;
    return table;
}

MessageTable& messageStorage() {
    static MessageTable table;
    return table;
}

const std::string* findConfig(int32_t id) {
    const ConfigTable& table = configStorage();
    const auto it = table.find(id);
    return it == table.end() ? nullptr : &it->second;
}

}  // namespace

void setConfigTable(ConfigTable table) { configStorage() = std::move(table); }
void setMessageTable(MessageTable table) { messageStorage() = std::move(table); }
const ConfigTable& configTable() { return configStorage(); }
const MessageTable& messageTable() { return messageStorage(); }

size_t configCopy(int32_t id, char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    const std::string* value = findConfig(id);
    const size_t length = value ? value->size() : 0;
    const size_t copied = length < size ? length : size - 1;
    if (copied > 0) value->copy(buffer, copied);
    buffer[copied] = '\0';
    if (length >= size) {
        services::logError(L"config string %d truncated (%d %d)", id, size, length);
    }
    return copied;
}

int configInteger(int32_t id) {
    std::string buffer(kTextBufferSize, '\0');
    const size_t length = configCopy(id, buffer.data(), buffer.size());
    return base::parseDecimalInt(std::string_view(buffer.data(), length));
}

std::string configString(int32_t id) {
    const std::string* value = findConfig(id);
    return value ? *value : std::string();
}

std::wstring configWide(int32_t id, size_t limit) {
    const std::string* value = findConfig(id);
    if (!value) return std::wstring();
    std::wstring wide = base::narrowToWide(*value);
    if (wide.size() > limit) wide.resize(limit);
    return wide;
}

void configAppendNarrow(int32_t id, std::string& text) {
    if (const std::string* value = findConfig(id)) text += *value;
}

void configAppendWide(int32_t id, std::wstring& text) {
    if (const std::string* value = findConfig(id)) text += base::narrowToWide(*value);
}

std::wstring messageEntry(int32_t id) {
    const MessageTable& table = messageStorage();
    const auto it = table.find(id);
    if (it == table.end()) return std::wstring();
    std::wstring text = it->second;
    if (text.size() >= kTextBufferSize) text.resize(kTextBufferSize - 1);
    return text;
}

std::wstring messageText(int32_t id) {
    std::wstring text = messageEntry(id);
    if (text.empty()) text = configWide(id, kTextBufferSize - 1);
    return text;
}

}  // namespace services
