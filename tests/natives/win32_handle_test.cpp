// Win32Handle: a file this process holds open is listed with its name and closed by value; a
// value that is no handle is not; the drive link's target and the line of a missing link.
#include <windows.h>

#include <algorithm>
#include <string>

#include "harness/natives_test.h"
#include "peer_process.h"

namespace natives_test {
namespace {

class Win32HandleNatives : public NativesTest {};

TEST_F(Win32HandleNatives, AnOpenFileIsListedAndClosed) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"win32handle held.txt";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    const jobject listed = callObject("Win32Handle.list0", {});
    ASSERT_NE(listed, nullptr);
    const auto pair = static_cast<jobjectArray>(listed);
    ASSERT_EQ(env()->GetArrayLength(pair), 2);
    const auto values = static_cast<jintArray>(env()->GetObjectArrayElement(pair, 0));
    const auto names = textsOf(env()->GetObjectArrayElement(pair, 1));
    ASSERT_TRUE(names);
    std::vector<jint> handles(static_cast<std::size_t>(env()->GetArrayLength(values)));
    env()->GetIntArrayRegion(values, 0, static_cast<jsize>(handles.size()), handles.data());
    ASSERT_EQ(handles.size(), names->size());
    const auto at = std::find(handles.begin(), handles.end(), static_cast<jint>(reinterpret_cast<std::uintptr_t>(file)));
    ASSERT_NE(at, handles.end());
    const std::wstring& name = (*names)[static_cast<std::size_t>(at - handles.begin())];
    EXPECT_TRUE(name.ends_with(L"\\win32handle held.txt")) << std::string(name.begin(), name.end());

    EXPECT_TRUE(callBoolean("Win32Handle.close0", {static_cast<jint>(reinterpret_cast<std::uintptr_t>(file))}));
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(file, &flags));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);  // closed: deleted
    EXPECT_FALSE(callBoolean("Win32Handle.close0", {0x7FF0}));
}

TEST_F(Win32HandleNatives, DeviceNamesOfLinks) {
    const auto device = textOf(callObject("Win32Handle.getDeviceName0", {javaString(L"\\??\\C:")}));
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->starts_with(L"\\")) << std::string(device->begin(), device->end());

    DiagnosticsCapture lines;
    EXPECT_EQ(callObject("Win32Handle.getDeviceName0", {javaString(L"\\??\\Q9:")}), nullptr);
    EXPECT_EQ(lines.output().rfind("could not open link \\??\\Q9: ", 0), 0u) << lines.output();
    EXPECT_NE(lines.output().find("C0000034\n"), std::string::npos) << lines.output();  // not found
    EXPECT_EQ(callObject("Win32Handle.getDeviceName0", {nullptr}), nullptr);
}

}  // namespace
}  // namespace natives_test
