// How errors reach the user: a message box in GUI mode, the console or standard error
// otherwise. Fatal errors end the process through the clean-up. Implemented by the program's top
// (launcher/error_path.cpp), which knows the clean-up.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace services {

// GUI mode is on at start; "-q"/"-c" and launcher types other than GUI turn it off.
bool guiMode();
void setGuiMode(bool on);
// Owner window of error message boxes.
void setMessageOwner(HWND owner);
HWND messageOwner();

void showError(std::wstring_view text);
// The message's text with its first "{0}" replaced by the argument, then showError.
void showMessage(int id, std::wstring_view argument);
std::wstring substituteFirstPlaceholder(std::wstring_view text, std::wstring_view argument);

[[noreturn]] void failWithText(std::wstring_view text);
[[noreturn]] void failWithMessage(int id, std::wstring_view argument);
[[noreturn]] void failWithMessage(int id, std::string_view narrowArgument);
// Shows the message table's entry alone, without the config-table fallback.
[[noreturn]] void failWithMessage(int id);

}  // namespace services
