// Choice of the user's locale ("en", "de_CH", ...) from an explicit program argument or from
// the Windows language identifiers, in Java's legacy locale naming.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace launch {

// The locale name of a Windows language identifier: the row of the full identifier, else the
// row of its primary language; none when neither is in the table.
std::optional<std::string_view> localeNameOf(uint16_t languageId);

struct SystemLanguages {
    uint16_t regionalFormat = 0x0409;          // low 16 bits of GetUserDefaultLCID
    std::optional<uint16_t> userInterface;     // GetUserDefaultUILanguage, when available
};

// Selects the locale text. `arguments` are the program arguments, or none when there are no
// arguments to consult. Logs its decision.
std::string selectLocale(const std::vector<std::wstring>* arguments, const SystemLanguages& languages);
// The last locale selectLocale chose; empty before.
const std::string& selectedLocale();

// What this Windows session reports (Windows builds only).
SystemLanguages systemLanguages();

// Language and country parts of a locale text: the first two characters when it is longer than
// one, and characters 4 and 5 when it has exactly five.
std::optional<std::string> languagePart(std::string_view locale);
std::optional<std::string> countryPart(std::string_view locale);

}  // namespace launch
