#include "launcher/product.h"

namespace launcher {

namespace {
std::string narrowName = "corvane";
std::wstring wideName = L"corvane";
}  // namespace

void setProductKind(std::string_view productKind) {
    const bool lumbra = !productKind.empty() && productKind[0] == 'e';
    narrowName = lumbra ? "lumbra" : "corvane";
    wideName = lumbra ? L"lumbra" : L"corvane";
}

const std::string& productName() { return narrowName; }
const std::wstring& productNameWide() { return wideName; }

}  // namespace launcher
