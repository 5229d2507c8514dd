#include "com_fakes.h"

#include <utility>

namespace natives_test {

namespace {

std::atomic<int>& liveCount() {
    static std::atomic<int> count{0};
    return count;
}

class ClassFactory final : public FakeComObject<IClassFactory> {
public:
    ClassFactory(RegisteredClass::Maker make, std::shared_ptr<int> created)
        : FakeComObject({IID_IClassFactory}), make_(std::move(make)), created_(std::move(created)) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ++*created_;
        return make_(id, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    RegisteredClass::Maker make_;
    std::shared_ptr<int> created_;
};

}  // namespace

int liveFakes() { return liveCount().load(); }
void countFake(int change) { liveCount() += change; }

HRESULT handOut(IUnknown* made, REFIID id, void** object) {
    const HRESULT result = made->QueryInterface(id, object);
    made->Release();
    return result;
}

RegisteredClass::RegisteredClass(REFCLSID clsid, Maker make) {
    initialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    auto* factory = new ClassFactory(std::move(make), created_);
    if (FAILED(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_))) cookie_ = 0;
    factory->Release();  // COM holds it while it is registered
}

RegisteredClass::~RegisteredClass() {
    if (cookie_) CoRevokeClassObject(cookie_);
    if (initialized_) CoUninitialize();
}

std::wstring bstrText(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : L"null"; }

}  // namespace natives_test
