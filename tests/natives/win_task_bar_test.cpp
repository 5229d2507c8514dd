// WinTaskBar: the setters do nothing before the taskbar list exists, and after initTaskBar0 the
// calling thread is in a single-threaded apartment and the setters reach the list. Wine's
// taskbar list is a stub that shows nothing; a list of the test's own (its class registered in
// the test's apartment before the natives make theirs) shows what each setter handed it.
#include <windows.h>

#include <objbase.h>
#include <shobjidl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "awt_window.h"
#include "com_fakes.h"
#include "harness/natives_test.h"

namespace natives_test {
namespace {

class WinTaskBarNatives : public NativesTest {};

std::string number(const void* handle) { return std::to_string(reinterpret_cast<std::uintptr_t>(handle)); }

// What the list of the test was asked, in order.
std::vector<std::string> taskbarCalls;

class FakeTaskbarList final : public FakeComObject<ITaskbarList3> {
public:
    FakeTaskbarList() : FakeComObject({IID_ITaskbarList, IID_ITaskbarList2, IID_ITaskbarList3}) {}

    HRESULT STDMETHODCALLTYPE HrInit() override { return record("init"); }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG completed, ULONGLONG total) override {
        return record("progress " + number(window) + " " + std::to_string(completed) + "/" + std::to_string(total));
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND window, TBPFLAG flags) override {
        return record("state " + number(window) + " " + std::to_string(flags));
    }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND window, HICON icon, LPCWSTR description) override {
        return record("overlay " + number(window) + " " + number(icon) + (description ? " described" : ""));
    }
    // What the natives never ask.
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return E_NOTIMPL; }

private:
    static HRESULT record(std::string call) {
        taskbarCalls.push_back(std::move(call));
        return S_OK;
    }
};

// The list is made once per process: this test holds only where no other test made it first
// (ctest runs each test in a program of its own).
TEST_F(WinTaskBarNatives, TheSettersHandTheirValuesToTheList) {
    const RegisteredClass list(CLSID_TaskbarList,
                               [](REFIID id, void** object) { return handOut(new FakeTaskbarList, id, object); });
    TestWindow window;
    const jlong handle = reinterpret_cast<std::intptr_t>(window.get());
    const HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    taskbarCalls.clear();
    callVoid("WinTaskBar.setProgress0", {handle, jlong{1}, jlong{2}});  // no list yet: goes nowhere
    callVoid("WinTaskBar.initTaskBar0", {});
    if (list.created() == 0) GTEST_SKIP() << "another test of this program made the system's list first";
    EXPECT_EQ(list.created(), 1);
    // Counts beyond 32 bits (an installation of many gigabytes) arrive whole.
    callVoid("WinTaskBar.setProgress0", {handle, jlong{5'000'000'000}, jlong{8'000'000'000}});
    callVoid("WinTaskBar.setState0", {handle, jint{TBPF_ERROR}});
    callVoid("WinTaskBar.setOverlayIcon0", {handle, reinterpret_cast<std::intptr_t>(icon)});
    callVoid("WinTaskBar.setOverlayIcon0", {handle, jlong{0}});
    const std::string w = number(window.get());
    EXPECT_EQ(taskbarCalls, (std::vector<std::string>{"init", "progress " + w + " 5000000000/8000000000",
                                                      "state " + w + " 4", "overlay " + w + " " + number(icon),
                                                      "overlay " + w + " 0"}));
}

TEST_F(WinTaskBarNatives, SettersBeforeAndAfterTheList) {
    TestWindow window;
    const jlong handle = reinterpret_cast<std::intptr_t>(window.get());
    const auto setAll = [&] {
        callVoid("WinTaskBar.setProgress0", {handle, jlong{30}, jlong{100}});
        callVoid("WinTaskBar.setState0", {handle, 2});
        callVoid("WinTaskBar.setOverlayIcon0", {handle, jlong{0}});
    };
    setAll();
    callVoid("WinTaskBar.initTaskBar0", {});
    callVoid("WinTaskBar.initTaskBar0", {});  // once only
    // The apartment is there and single-threaded: asking for another kind is refused.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    setAll();
    callVoid("WinTaskBar.setState0", {handle, 0});
    EXPECT_TRUE(IsWindow(window.get()));
}

}  // namespace
}  // namespace natives_test
