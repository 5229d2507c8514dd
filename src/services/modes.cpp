#include "services/modes.h"

namespace services {

Modes& modes() {
    static Modes instance;
    return instance;
}

bool startsWithWord(std::string_view commandLine, std::string_view word) {
    return commandLine.substr(0, word.size()) == word;
}

bool isRebootCommandLine(std::string_view commandLine) { return commandLine == "__cvn_reboot"; }

uintptr_t parseMsiWindow(std::string_view commandLine) {
    std::string_view rest = commandLine.substr(std::min(commandLine.size(), std::string_view("__cvn_msi").size()));
    // strtoul rules: leading blanks, an optional sign, then digits.
    size_t i = 0;
    while (i < rest.size() && (rest[i] == ' ' || (rest[i] >= '\t' && rest[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < rest.size() && (rest[i] == '+' || rest[i] == '-')) negative = rest[i++] == '-';
    unsigned long long value = 0;
    bool overflow = false;
    for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
        value = value * 10 + static_cast<unsigned>(rest[i] - '0');
        if (value > UINT32_MAX) overflow = true;
    }
    // A handle is 32 bits wide in every Windows session; anything larger names no window.
    if (overflow) return 0;
    if (negative) value = static_cast<uint32_t>(0u - static_cast<uint32_t>(value));
    return static_cast<uintptr_t>(value);
}

void applyInternalModes(std::string_view commandLine, Modes& modes) {
    modes.deletion = startsWithWord(commandLine, "__cvn_windel");
    if (startsWithWord(commandLine, "__cvn_msi")) {
        modes.msiWindow = parseMsiWindow(commandLine);
        modes.msi = true;
        modes.noDialog = true;
    }
    modes.quiet = false;
    if (startsWithWord(commandLine, "__cvn_lang_restart")) {
        modes.languageRestart = true;
        modes.quiet = true;
    }
    modes.extractAndExit = startsWithWord(commandLine, "__cvn_extract_and_exit");
}

bool takeLogOption(std::vector<std::wstring>& arguments) {
    if (arguments.size() < 2) return false;
    const std::wstring& option = arguments[1];
    if (option != L"-create-cvn-log" && option != L"-create-lmb-log" && option != L"/create-cvn-log" &&
        option != L"/create-lmb-log") {
        return false;
    }
    arguments.erase(arguments.begin() + 1);
    return true;
}

UserOptions scanUserOptions(const std::vector<std::wstring>& arguments) {
    UserOptions options;
    for (const std::wstring& argument : arguments) {
        if (argument == L"-q") {
            options.quiet = true;
            options.guiOff = true;
        } else if (argument == L"-console") {
            options.console = true;
        } else if (argument == L"-splash") {
            options.splash = true;
        } else if (argument == L"-nocheck") {
            options.noCheck = true;
        } else if (argument == L"-c") {
            options.quiet = true;
            options.guiOff = true;
            options.consoleRequired = true;
        } else if (argument == L"-manual" || argument == L"/manual") {
            options.manual = true;
        }
    }
    return options;
}

}  // namespace services
