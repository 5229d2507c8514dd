// The short product name: "lumbra" when config id 2001 begins with "e", else "corvane". It is
// the title of the launcher's own message boxes outside the payload's messages.
#pragma once

#include <string>
#include <string_view>

namespace launcher {

void setProductKind(std::string_view productKind);
const std::string& productName();
const std::wstring& productNameWide();

}  // namespace launcher
