// Win32Firewall on Wine's firewall objects, which keep no rules: the codes of each step that
// fails; and on a firewall of the test's own (its policy and rule classes registered in the
// test's apartment), which keeps rules as Windows does: what the natives add, find and delete
// through their own COM calls. The matching and counting alone are tested on the host
// (firewall_rules_test.cpp).
#include <windows.h>

#include <oleauto.h>
// The firewall's class and interface ids, as the natives define them.
#include <initguid.h>
#include <netfw.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "com_fakes.h"
#include "harness/natives_test.h"
#include "natives/com_object.h"

extern "C" jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_getCurrentProfileTypes0(JNIEnv*,
                                                                                                                jclass);
extern "C" jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_addRule0(
    JNIEnv*, jclass, jstring, jstring, jstring, jint, jint, jstring, jstring, jstring, jstring, jstring, jint, jboolean);
extern "C" jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_deleteRules0(
    JNIEnv*, jclass, jstring, jstring, jstring, jint, jint, jstring, jstring, jstring, jstring, jstring);

namespace natives_test {
namespace {

using natives::ComObject;

class FirewallNatives : public NativesTest {
protected:
    jint addRule(const wchar_t* ports = L"8080") {
        return callInt("Win32Firewall.addRule0",
                       {javaString(L"C:\\corvane\\app.exe"), javaString(L"corvane test rule"), javaString(L"corvane"), 1,
                        6, javaString(L"a test rule"), javaString(ports), javaString(L"10.0.0.1"), nullptr, nullptr, 7,
                        true});
    }
    jint deleteRules() {
        return callInt("Win32Firewall.deleteRules0", {javaString(L"C:\\corvane\\app.exe"), nullptr, nullptr, 0, 0,
                                                      nullptr, nullptr, nullptr, nullptr, nullptr});
    }
};

TEST_F(FirewallNatives, WithoutComOnTheThreadThePolicyCannotBeCreated) {
    // A thread that never ran initialize0; the natives take no Java object with null texts.
    jlong profiles = -1;
    jint added = -1, deleted = -1;
    std::thread([&] {
        profiles = Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_getCurrentProfileTypes0(env(), nullptr);
        added = Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_addRule0(
            env(), nullptr, nullptr, nullptr, nullptr, 1, 6, nullptr, nullptr, nullptr, nullptr, nullptr, 7, JNI_TRUE);
        deleted = Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_deleteRules0(
            env(), nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
    }).join();
    EXPECT_EQ(profiles, jlong{2} << 32);
    EXPECT_EQ(added, 2);
    EXPECT_EQ(deleted, 2);
}

TEST_F(FirewallNatives, OnWinesPolicyObjectTheStepsItLacksGiveTheirCodes) {
    callVoid("Win32Firewall.initialize0", {});
    // The policy is created, its profile types cannot be read (E_NOTIMPL): base 3, mask 0.
    EXPECT_EQ(callLong("Win32Firewall.getCurrentProfileTypes0", {}), jlong{3} << 32);
    // Policy, rule collection and rule object exist; walking the rules does not (base 32), so
    // nothing is added or deleted.
    EXPECT_EQ(addRule(), 32);
    EXPECT_EQ(deleteRules(), 32);
}


// ---- A firewall of the test's own --------------------------------------------------------------

// What the fake firewall holds and what it was asked, shared by its objects.
struct FirewallState {
    std::vector<std::wstring> journal;  // additions, renames of named rules and removals, in order
    std::string refusedProperty;        // the property every rule refuses to take
    HRESULT removal = S_OK, enumeration = S_OK, adding = S_OK, profileTypes = S_OK, creatingRule = S_OK;
    LONG profiles = NET_FW_PROFILE2_PRIVATE | NET_FW_PROFILE2_PUBLIC;
};

// "10.0.0.1,*,10.1.0.0/255.255.0.0" as the firewall keeps it: a single address gets its mask.
std::wstring firewallAddresses(const std::wstring& given) {
    std::wstring kept;
    for (std::size_t start = 0; start <= given.size();) {
        const std::size_t comma = std::min(given.find(L',', start), given.size());
        std::wstring address = given.substr(start, comma - start);
        if (std::count(address.begin(), address.end(), L'.') == 3 && address.find_first_of(L"/-") == std::wstring::npos)
            address += L"/255.255.255.255";
        kept += (kept.empty() ? L"" : L",") + address;
        start = comma + 1;
    }
    return kept;
}

class FakeRule final : public FakeDispatch<INetFwRule> {
public:
    explicit FakeRule(FirewallState& state) : FakeDispatch(IID_INetFwRule), state_(state) {}

    std::map<std::string, std::wstring> texts;  // by property; a missing one has no value
    LONG protocol = 256, profiles = NET_FW_PROFILE2_ALL;  // any protocol, every profile
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN;
    NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
    VARIANT_BOOL enabled = VARIANT_FALSE;

    std::wstring text(const std::string& property) const {
        const auto found = texts.find(property);
        return found == texts.end() ? L"null" : found->second;
    }

#define FAKE_TEXT(Property)                                                                                        \
    HRESULT STDMETHODCALLTYPE get_##Property(BSTR* value) override { return getText(#Property, value); }          \
    HRESULT STDMETHODCALLTYPE put_##Property(BSTR value) override { return putText(#Property, value); }
#define FAKE_NUMBER(Property, Type, field)                                                                         \
    HRESULT STDMETHODCALLTYPE get_##Property(Type* value) override { return *value = field, S_OK; }               \
    HRESULT STDMETHODCALLTYPE put_##Property(Type value) override {                                                \
        if (state_.refusedProperty == #Property) return E_INVALIDARG;                                              \
        return field = value, S_OK;                                                                                \
    }
    FAKE_TEXT(Name)
    FAKE_TEXT(Description)
    FAKE_TEXT(ApplicationName)
    FAKE_TEXT(ServiceName)
    FAKE_TEXT(LocalPorts)
    FAKE_TEXT(RemotePorts)
    FAKE_TEXT(LocalAddresses)
    FAKE_TEXT(RemoteAddresses)
    FAKE_TEXT(IcmpTypesAndCodes)
    FAKE_TEXT(InterfaceTypes)
    FAKE_TEXT(Grouping)
    FAKE_NUMBER(Protocol, LONG, protocol)
    FAKE_NUMBER(Direction, NET_FW_RULE_DIRECTION, direction)
    FAKE_NUMBER(Enabled, VARIANT_BOOL, enabled)
    FAKE_NUMBER(Profiles, LONG, profiles)
    FAKE_NUMBER(Action, NET_FW_ACTION, action)
#undef FAKE_TEXT
#undef FAKE_NUMBER
    HRESULT STDMETHODCALLTYPE get_Interfaces(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Interfaces(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_EdgeTraversal(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_EdgeTraversal(VARIANT_BOOL) override { return E_NOTIMPL; }

private:
    HRESULT getText(const std::string& property, BSTR* value) {
        const auto found = texts.find(property);
        // Addresses without a value read as any address, as the firewall's do.
        const bool anyAddress = found == texts.end() && property.ends_with("Addresses");
        *value = found != texts.end() ? SysAllocString(found->second.c_str()) : anyAddress ? SysAllocString(L"*") : nullptr;
        return S_OK;
    }
    HRESULT putText(const std::string& property, BSTR value) {
        if (state_.refusedProperty == property) return E_INVALIDARG;
        std::wstring kept = bstrText(value);
        if (property.ends_with("Addresses")) kept = firewallAddresses(kept);
        if (property == "Name" && texts.count("Name")) state_.journal.push_back(L"rename " + texts["Name"] + L" to " + kept);
        texts[property] = kept;
        return S_OK;
    }

    FirewallState& state_;
};

// An item of the collection that is not a rule, as a broken enumeration may hand out.
class NotARule final : public FakeComObject<IUnknown> {
public:
    NotARule() : FakeComObject({}) {}
};

// The walk over a copy of the collection's items, each handed out with a reference of its own.
class FakeEnumerator final : public FakeComObject<IEnumVARIANT> {
public:
    explicit FakeEnumerator(const std::vector<IUnknown*>& items) : FakeComObject({IID_IEnumVARIANT}) {
        for (IUnknown* item : items) {
            VARIANT& held = items_.emplace_back();
            VariantInit(&held);
            if (ComObject<IDispatch> dispatch; SUCCEEDED(item->QueryInterface(IID_IDispatch, dispatch.putVoid()))) {
                held.vt = VT_DISPATCH;
                held.pdispVal = dispatch.get();
            } else {
                held.vt = VT_UNKNOWN;
                held.punkVal = item;
            }
            held.punkVal->AddRef();
        }
    }
    ~FakeEnumerator() override {
        for (VARIANT& item : items_) VariantClear(&item);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override {
        ULONG given = 0;
        for (; given < count && next_ < items_.size(); ++given, ++next_) {
            VariantInit(&items[given]);
            VariantCopy(&items[given], &items_[next_]);
        }
        if (fetched) *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        next_ += count;
        return next_ <= items_.size() ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override { return next_ = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

private:
    std::vector<VARIANT> items_;
    std::size_t next_ = 0;
};

class FakeRules final : public FakeDispatch<INetFwRules> {
public:
    explicit FakeRules(FirewallState& state) : FakeDispatch(IID_INetFwRules), state_(state) {}
    ~FakeRules() override {
        for (IUnknown* item : items) item->Release();
    }

    std::vector<IUnknown*> items;  // each held with one reference

    // The rules as "name|application" in collection order; "-" for an item that is no rule.
    std::vector<std::wstring> kept() const {
        std::vector<std::wstring> rules;
        for (IUnknown* item : items) {
            const auto* rule = dynamic_cast<FakeRule*>(item);
            rules.push_back(rule ? rule->text("Name") + L"|" + rule->text("ApplicationName") : L"-");
        }
        return rules;
    }

    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override { return *count = static_cast<LONG>(items.size()), S_OK; }
    HRESULT STDMETHODCALLTYPE Add(INetFwRule* rule) override {
        if (FAILED(state_.adding)) return state_.adding;
        rule->AddRef();
        items.push_back(rule);
        state_.journal.push_back(L"add " + static_cast<FakeRule*>(rule)->text("Name"));
        return S_OK;
    }
    // The first rule of that name goes; none of that name is no failure.
    HRESULT STDMETHODCALLTYPE Remove(BSTR name) override {
        state_.journal.push_back(L"remove " + bstrText(name) + (FAILED(state_.removal) ? L" refused" : L""));
        if (FAILED(state_.removal)) return state_.removal;
        const auto found = std::find_if(items.begin(), items.end(), [&](IUnknown* item) {
            const auto* rule = dynamic_cast<FakeRule*>(item);
            return rule && rule->text("Name") == bstrText(name);
        });
        if (found != items.end()) {
            (*found)->Release();
            items.erase(found);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(BSTR, INetFwRule**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** enumerator) override {
        if (FAILED(state_.enumeration)) return state_.enumeration;
        *enumerator = new FakeEnumerator(items);
        return S_OK;
    }

private:
    FirewallState& state_;
};

class FakePolicy final : public FakeDispatch<INetFwPolicy2> {
public:
    FakePolicy(FirewallState& state, FakeRules* rules) : FakeDispatch(IID_INetFwPolicy2), state_(state), rules_(rules) {
        rules_->AddRef();
    }
    ~FakePolicy() override { rules_->Release(); }

    HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* profiles) override {
        if (SUCCEEDED(state_.profileTypes)) *profiles = state_.profiles;
        return state_.profileTypes;
    }
    HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** rules) override {
        rules_->AddRef();
        *rules = rules_;
        return S_OK;
    }
    // What the natives never ask.
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_FirewallEnabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ExcludedInterfaces(NET_FW_PROFILE_TYPE2, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ExcludedInterfaces(NET_FW_PROFILE_TYPE2, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(NET_FW_PROFILE_TYPE2, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_UnicastResponsesToMulticastBroadcastDisabled(NET_FW_PROFILE_TYPE2,
                                                                               VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_UnicastResponsesToMulticastBroadcastDisabled(NET_FW_PROFILE_TYPE2,
                                                                               VARIANT_BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_ServiceRestriction(INetFwServiceRestriction**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnableRuleGroup(LONG, BSTR, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsRuleGroupEnabled(LONG, BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RestoreLocalFirewallDefaults() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DefaultInboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_DefaultInboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_DefaultOutboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_DefaultOutboundAction(NET_FW_PROFILE_TYPE2, NET_FW_ACTION) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IsRuleGroupCurrentlyEnabled(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LocalPolicyModifyState(NET_FW_MODIFY_STATE*) override { return E_NOTIMPL; }

private:
    FirewallState& state_;
    FakeRules* rules_;
};

// The policy and rule classes of this thread's apartment, over one collection of rules.
class FakeFirewall {
public:
    FakeFirewall()
        : rules(new FakeRules(state)),
          policyClass_(CLSID_NetFwPolicy2,
                       [this](REFIID id, void** object) { return handOut(new FakePolicy(state, rules), id, object); }),
          ruleClass_(CLSID_NetFwRule, [this](REFIID id, void** object) {
              return FAILED(state.creatingRule) ? state.creatingRule : handOut(new FakeRule(state), id, object);
          }) {}
    ~FakeFirewall() { rules->Release(); }
    FakeFirewall(const FakeFirewall&) = delete;
    FakeFirewall& operator=(const FakeFirewall&) = delete;

    bool registered() const { return policyClass_.registered() && ruleClass_.registered(); }
    // A rule already there, as the firewall keeps it.
    void keep(const wchar_t* name, const wchar_t* application) {
        auto* rule = new FakeRule(state);
        rule->texts["Name"] = name;
        rule->texts["ApplicationName"] = application;
        rule->protocol = NET_FW_IP_PROTOCOL_TCP;
        rule->direction = NET_FW_RULE_DIR_IN;
        rules->items.push_back(static_cast<INetFwRule*>(rule));
    }
    void keepNotARule() { rules->items.push_back(new NotARule); }

    FirewallState state;
    FakeRules* rules;

private:
    RegisteredClass policyClass_, ruleClass_;
};

constexpr wchar_t kApplication[] = L"C:\\corvane\\app.exe";
constexpr wchar_t kMarker[] = L"__cvn_firewall_rule_for_deletion";
using Texts = std::vector<std::wstring>;

class FirewallFakes : public FirewallNatives {
protected:
    void SetUp() override {
        FirewallNatives::SetUp();
        fakesBefore_ = liveFakes();
        callVoid("Win32Firewall.initialize0", {});
    }
    // Every object the natives were handed has been released.
    void TearDown() override {
        EXPECT_EQ(liveFakes(), fakesBefore_) << "a firewall object was not released";
        FirewallNatives::TearDown();
    }
    static jint add(const wchar_t* ports, const wchar_t* addresses, const wchar_t* group = L"corvane") {
        return callInt("Win32Firewall.addRule0",
                       {javaString(kApplication), javaString(L"app rule"), group ? javaString(group) : nullptr, 1, 6,
                        group ? javaString(L"about it") : nullptr, ports ? javaString(ports) : nullptr,
                        addresses ? javaString(addresses) : nullptr, nullptr, nullptr, 5, true});
    }
    static jint deleteRules(const wchar_t* application) {
        return callInt("Win32Firewall.deleteRules0", {javaString(application), nullptr, nullptr, 0, 0, nullptr, nullptr,
                                                      nullptr, nullptr, nullptr});
    }

private:
    int fakesBefore_ = 0;
};

TEST_F(FirewallFakes, ARuleIsAddedOnceWithItsPropertiesAndAddressesInTheFirewallsForm) {
    FakeFirewall firewall;
    ASSERT_TRUE(firewall.registered());
    EXPECT_EQ(add(L"8080", L"10.0.0.1"), 0);
    ASSERT_EQ(firewall.rules->items.size(), 1u);
    const auto* rule = dynamic_cast<FakeRule*>(firewall.rules->items[0]);
    EXPECT_EQ(rule->texts, (std::map<std::string, std::wstring>{{"Name", L"app rule"},
                                                                {"Grouping", L"corvane"},
                                                                {"Description", L"about it"},
                                                                {"ApplicationName", kApplication},
                                                                {"LocalPorts", L"8080"},
                                                                {"LocalAddresses", L"10.0.0.1/255.255.255.255"}}));
    EXPECT_EQ(rule->protocol, 6);
    EXPECT_EQ(rule->direction, NET_FW_RULE_DIR_IN);
    EXPECT_EQ(rule->action, NET_FW_ACTION_ALLOW);
    EXPECT_EQ(rule->profiles, 5);
    EXPECT_EQ(rule->enabled, VARIANT_TRUE);

    // The address given again in its short form still finds the rule the firewall keeps in
    // the long one: a duplicate, nothing added.
    EXPECT_EQ(add(L"8080", L"10.0.0.1"), -1);
    EXPECT_EQ(add(L"8080", L"10.0.0.1/255.255.255.255"), -1);
    EXPECT_EQ(add(L"8081", L"10.0.0.1"), 0);
    EXPECT_EQ(firewall.state.journal, (Texts{L"add app rule", L"add app rule"}));
}

TEST_F(FirewallFakes, EachPropertyTheFirewallRefusesHasItsCode) {
    FakeFirewall firewall;
    const char* properties[] = {"Name",     "Grouping", "Description", "Direction",  "Action",
                                "ApplicationName", "Protocol", "Profiles", "Enabled", "LocalPorts",
                                "LocalAddresses",  "RemotePorts", "RemoteAddresses"};
    for (int i = 0; i < 13; ++i) {
        firewall.state.refusedProperty = properties[i];
        EXPECT_EQ(callInt("Win32Firewall.addRule0",
                          {javaString(kApplication), javaString(L"app rule"), javaString(L"corvane"), 1, 6,
                           javaString(L"about it"), javaString(L"80"), javaString(L"10.0.0.1"), javaString(L"443"),
                           javaString(L"10.0.0.2"), 7, false}),
                  610 + i)
            << properties[i];
    }
    EXPECT_TRUE(firewall.rules->items.empty());
    // Texts that are not given are not set, so their refusal does not matter.
    firewall.state.refusedProperty = "Grouping";
    EXPECT_EQ(add(nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(firewall.rules->items.size(), 1u);
    EXPECT_EQ(dynamic_cast<FakeRule*>(firewall.rules->items[0])->texts.size(), 2u);
}

TEST_F(FirewallFakes, AMatchFoundBeforeAnItemThatIsNoRuleIsADuplicate) {
    FakeFirewall firewall;
    ASSERT_EQ(add(L"8080", L"10.0.0.1"), 0);
    firewall.keepNotARule();
    firewall.state.journal.clear();
    EXPECT_EQ(add(L"8080", L"10.0.0.1"), -1);
    // No match before it: the walk's own failure, and nothing is added or deleted.
    EXPECT_EQ(add(L"9090", L"10.0.0.1"), 100);
    EXPECT_EQ(deleteRules(kApplication), 100);
    EXPECT_EQ(firewall.rules->items.size(), 2u);
    EXPECT_TRUE(firewall.state.journal.empty());
}

TEST_F(FirewallFakes, MatchingRulesAreRenamedThenRemovedOneByOne) {
    FakeFirewall firewall;
    firewall.keep(L"app rule", kApplication);
    firewall.keep(L"other rule", L"C:\\other.exe");
    firewall.keep(L"app rule", kApplication);
    // The two rules share a name the collection removes by: each goes by a name of its own.
    EXPECT_EQ(deleteRules(kApplication), -2);
    EXPECT_EQ(firewall.rules->kept(), (Texts{L"other rule|C:\\other.exe"}));
    const std::wstring marker = kMarker;
    const Texts each = {L"rename app rule to " + marker, L"remove " + marker};
    EXPECT_EQ(firewall.state.journal, (Texts{each[0], each[1], each[0], each[1]}));
    EXPECT_EQ(deleteRules(kApplication), 0);

    // A removal the firewall refuses: its code, and the rule has its own name back.
    firewall.keep(L"app rule", kApplication);
    firewall.state.journal.clear();
    firewall.state.removal = E_ACCESSDENIED;
    EXPECT_EQ(deleteRules(kApplication), 1);
    EXPECT_EQ(firewall.rules->kept(), (Texts{L"other rule|C:\\other.exe", std::wstring(L"app rule|") + kApplication}));
    EXPECT_EQ(firewall.state.journal,
              (Texts{L"rename app rule to " + marker, L"remove " + marker + L" refused", L"rename " + marker + L" to app rule"}));
}

TEST_F(FirewallFakes, ProfilesAndTheCodesOfFailedSteps) {
    FakeFirewall firewall;
    EXPECT_EQ(callLong("Win32Firewall.getCurrentProfileTypes0", {}), 6);
    firewall.state.profileTypes = E_ACCESSDENIED;
    EXPECT_EQ(callLong("Win32Firewall.getCurrentProfileTypes0", {}), jlong{1} << 32);

    firewall.state.creatingRule = E_INVALIDARG;
    EXPECT_EQ(add(L"80", nullptr), 504);
    EXPECT_EQ(deleteRules(kApplication), 505);
    firewall.state.creatingRule = S_OK;
    firewall.state.adding = E_UNEXPECTED;
    EXPECT_EQ(add(L"80", nullptr), 31);
    firewall.state.enumeration = E_FAIL;
    EXPECT_EQ(add(L"80", nullptr), 32);
    EXPECT_EQ(deleteRules(kApplication), 32);
    EXPECT_TRUE(firewall.rules->items.empty());
}

}  // namespace
}  // namespace natives_test
