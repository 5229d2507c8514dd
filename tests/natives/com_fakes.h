// In-process stand-ins for the system's COM classes where Wine has only a stub (the firewall
// policy, the directory object picker, the taskbar list). A test registers a class object for
// the CLSID in its own apartment (CoRegisterClassObject), so the native's own CoCreateInstance
// gets the test's object, which records what it is asked and answers as Windows documents.
//
//   natives_test::RegisteredClass picker(CLSID_DsObjectPicker, [&](REFIID id, void** out) {
//       return natives_test::handOut(new FakePicker(...), id, out);
//   });
//   ... call the native ...
//   EXPECT_EQ(picker.created(), 1);
//
// Every fake counts itself while it lives (liveFakes()): a test that compares the count before
// and after a native's call sees a reference the native failed to release.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace natives_test {

// The fakes of this program that have not been deleted yet.
int liveFakes();
void countFake(int change);

// Reference counting and QueryInterface for a fake of `Interface`: it answers IUnknown and the
// interface ids it is given (the interface's own and those it derives from). Made with one
// reference, deleted with the last.
template <class Interface>
class FakeComObject : public Interface {
public:
    explicit FakeComObject(std::initializer_list<IID> ids) : ids_(ids) { countFake(1); }
    virtual ~FakeComObject() { countFake(-1); }
    FakeComObject(const FakeComObject&) = delete;
    FakeComObject& operator=(const FakeComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (id != IID_IUnknown && std::find(ids_.begin(), ids_.end(), id) == ids_.end()) return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> references_{1};
    std::vector<IID> ids_;
};

// The IDispatch part of a dual interface, for callers that use only its v-table.
template <class Interface>
class FakeDispatch : public FakeComObject<Interface> {
public:
    explicit FakeDispatch(IID id) : FakeComObject<Interface>({id, IID_IDispatch}) {}

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

// Hands a new fake out as CoCreateInstance does: the interface asked for, or E_NOINTERFACE;
// the maker's own reference is given up either way.
HRESULT handOut(IUnknown* made, REFIID id, void** object);

// A class object for `clsid`, registered in the calling thread's apartment while it lives (the
// thread joins a single-threaded apartment, as the natives' threads do: COM finds a registered
// class only in the apartment that registered it). Each creation is answered by `make`.
class RegisteredClass {
public:
    using Maker = std::function<HRESULT(REFIID id, void** object)>;
    RegisteredClass(REFCLSID clsid, Maker make);
    ~RegisteredClass();
    RegisteredClass(const RegisteredClass&) = delete;
    RegisteredClass& operator=(const RegisteredClass&) = delete;

    bool registered() const { return cookie_ != 0; }
    // How many objects were asked of it.
    int created() const { return *created_; }

private:
    std::shared_ptr<int> created_ = std::make_shared<int>(0);
    DWORD cookie_ = 0;
    bool initialized_ = false;
};

// A BSTR's text; "null" for none.
std::wstring bstrText(BSTR text);

}  // namespace natives_test
