#include "services/command_line.h"

namespace services {

namespace {

// Scans one token from `position`; returns where the next one starts (text.size() at the end).
size_t scanToken(std::wstring_view text, size_t position, bool escapes, std::wstring& token) {
    int quotes = 0;
    size_t pendingBackslashes = 0;
    wchar_t previous = 0;
    bool separatorSeen = false;
    auto emitBackslashes = [&](size_t count) {
        token.append(count, L'\\');
        pendingBackslashes = 0;
    };

    for (; position < text.size(); ++position) {
        const wchar_t c = text[position];
        if (c == L' ' || c == L'\t') {
            if (escapes && pendingBackslashes > 0 && previous == L'\\') emitBackslashes(pendingBackslashes);
            if (quotes % 2 == 1) token += c;
            else separatorSeen = true;
        } else if (c == L'"') {
            if (separatorSeen) return position;
            if (escapes && previous == L'\\') {
                // 2n backslashes before a quote are n backslashes and a quoting quote;
                // 2n + 1 are n backslashes and a literal quote.
                const size_t count = pendingBackslashes;
                emitBackslashes(count / 2);
                if (count % 2 == 1) token += L'"';
                else quotes = quotes == 0 ? 1 : quotes - 1;
            } else if (previous == L'"' && quotes % 2 == 0) {
                // A quote right after a closing quote is literal and opens quoting again.
                token += L'"';
                ++quotes;
            } else {
                quotes = quotes == 0 ? 1 : quotes - 1;
            }
        } else if (c == L'\\' && escapes) {
            if (separatorSeen) return position;
            ++pendingBackslashes;
        } else {
            if (separatorSeen) return position;
            if (escapes && pendingBackslashes > 0) emitBackslashes(pendingBackslashes);
            token += c;
        }
        previous = c;
    }
    if (pendingBackslashes > 0) emitBackslashes(pendingBackslashes);
    return position;
}

}  // namespace

void splitCommandLine(std::wstring_view text, std::vector<std::wstring>& arguments, bool escapes) {
    size_t position = 0;
    while (position < text.size()) {
        std::wstring token;
        position = scanToken(text, position, escapes, token);
        arguments.push_back(std::move(token));
    }
}

}  // namespace services
