// Natives of com/corvane/runtime/installer/platform/win32/Win32Firewall: allow rules added and
// matching rules deleted through the firewall's COM policy object. Every call makes and
// releases its own objects; the decisions (matching, codes, deletion order) are in
// firewall_rules.cpp.
#include <windows.h>

#include <oleauto.h>
// The firewall's class and interface ids are defined here, in the one file that uses them.
#include <initguid.h>
#include <netfw.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jni/jni_toolkit.h"
#include "natives/com_object.h"
#include "natives/firewall_rules.h"
#include "natives/jni_export.h"

namespace {

using jni::WideString;
using natives::ComObject;
namespace firewall = natives::firewall;

// A BSTR owned until the scope ends.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : text_(text ? SysAllocString(text) : nullptr) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return text_; }
    BSTR* put() {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }
    std::optional<std::wstring> value() const {
        if (!text_) return std::nullopt;
        return std::wstring(text_, SysStringLen(text_));
    }

private:
    BSTR text_ = nullptr;
};

// The arguments shared by addRule0 and deleteRules0, as COM strings.
struct RuleDescription {
    RuleDescription(JNIEnv* env, jstring application, jstring name, jstring group, jint direction, jint protocol,
                    jstring description, jstring localPorts, jstring localAddresses, jstring remotePorts,
                    jstring remoteAddresses)
        : application(env, application), name(env, name), group(env, group), description(env, description),
          localPorts(env, localPorts), localAddresses(env, localAddresses), remotePorts(env, remotePorts),
          remoteAddresses(env, remoteAddresses), direction(direction), protocol(protocol) {}

    bool failed() const {
        for (const WideString* text : {&application, &name, &group, &description, &localPorts, &localAddresses,
                                       &remotePorts, &remoteAddresses})
            if (text->failed()) return true;
        return false;
    }

    WideString application, name, group, description, localPorts, localAddresses, remotePorts, remoteAddresses;
    jint direction;
    jint protocol;
};

std::optional<std::wstring> criterion(const WideString& text) {
    if (text.isNull()) return std::nullopt;
    return text.text();
}

using AddressSetter = HRESULT (STDMETHODCALLTYPE INetFwRule::*)(BSTR);
using AddressGetter = HRESULT (STDMETHODCALLTYPE INetFwRule::*)(BSTR*);

// The firewall's own form of an address list ("10.0.0.1" reads back with its mask), so that a
// list given in another form still compares equal; the text as given when it will not say.
std::optional<std::wstring> normalisedAddresses(INetFwRule* rule, const WideString& text, AddressSetter set,
                                                AddressGetter get) {
    if (text.isNull()) return std::nullopt;
    const Bstr given(text.get());
    Bstr readBack;
    if (SUCCEEDED((rule->*set)(given.get())) && SUCCEEDED((rule->*get)(readBack.put())) && readBack.value())
        return readBack.value();
    return text.text();
}

firewall::MatchCriteria criteriaFor(const RuleDescription& description, INetFwRule* freshRule) {
    firewall::MatchCriteria criteria;
    criteria.direction = description.direction;
    criteria.protocol = description.protocol;
    freshRule->put_Protocol(description.protocol);
    criteria.application = criterion(description.application);
    criteria.name = criterion(description.name);
    criteria.group = criterion(description.group);
    criteria.localPorts = criterion(description.localPorts);
    criteria.remotePorts = criterion(description.remotePorts);
    criteria.localAddresses = normalisedAddresses(freshRule, description.localAddresses, &INetFwRule::put_LocalAddresses,
                                                  &INetFwRule::get_LocalAddresses);
    criteria.remoteAddresses = normalisedAddresses(freshRule, description.remoteAddresses,
                                                   &INetFwRule::put_RemoteAddresses, &INetFwRule::get_RemoteAddresses);
    return criteria;
}

firewall::RuleText readText(INetFwRule* rule, HRESULT (STDMETHODCALLTYPE INetFwRule::*get)(BSTR*)) {
    Bstr text;
    firewall::RuleText read;
    read.readable = SUCCEEDED((rule->*get)(text.put()));
    if (read.readable) read.value = text.value();
    return read;
}

// The properties of one rule that the criteria test.
firewall::RuleProperties propertiesOf(INetFwRule* rule, const firewall::MatchCriteria& criteria) {
    firewall::RuleProperties properties;
    if (criteria.direction != 0) {
        NET_FW_RULE_DIRECTION direction{};
        properties.direction.readable = SUCCEEDED(rule->get_Direction(&direction));
        properties.direction.value = direction;
    }
    if (criteria.protocol != 0) {
        LONG protocol = 0;
        properties.protocol.readable = SUCCEEDED(rule->get_Protocol(&protocol));
        properties.protocol.value = protocol;
    }
    if (criteria.application) properties.application = readText(rule, &INetFwRule::get_ApplicationName);
    if (criteria.name) properties.name = readText(rule, &INetFwRule::get_Name);
    if (criteria.group) properties.group = readText(rule, &INetFwRule::get_Grouping);
    if (criteria.localPorts) properties.localPorts = readText(rule, &INetFwRule::get_LocalPorts);
    if (criteria.localAddresses) properties.localAddresses = readText(rule, &INetFwRule::get_LocalAddresses);
    if (criteria.remotePorts) properties.remotePorts = readText(rule, &INetFwRule::get_RemotePorts);
    if (criteria.remoteAddresses) properties.remoteAddresses = readText(rule, &INetFwRule::get_RemoteAddresses);
    return properties;
}

// Walks the collection and keeps the rules that match; 0 or the walk's code.
jint findMatchingRules(INetFwRules* rules, const firewall::MatchCriteria& criteria,
                       std::vector<ComObject<INetFwRule>>& matching) {
    ComObject<IUnknown> enumeratorObject;
    HRESULT result = rules->get__NewEnum(enumeratorObject.put());
    if (FAILED(result) || !enumeratorObject) return firewall::errorCode(result, firewall::kChangingRules);
    ComObject<IEnumVARIANT> enumerator;
    result = enumeratorObject->QueryInterface(IID_IEnumVARIANT, enumerator.putVoid());
    if (FAILED(result)) return firewall::errorCode(result, firewall::kChangingRules);
    for (;;) {
        VARIANT item;
        VariantInit(&item);
        ULONG fetched = 0;
        if (enumerator->Next(1, &item, &fetched) != S_OK || fetched == 0) {
            VariantClear(&item);
            return 0;
        }
        ComObject<INetFwRule> rule;
        if ((item.vt == VT_DISPATCH || item.vt == VT_UNKNOWN) && item.punkVal)
            item.punkVal->QueryInterface(IID_INetFwRule, rule.putVoid());
        VariantClear(&item);
        if (!rule) return firewall::kItemNotARule;
        if (firewall::ruleMatches(criteria, propertiesOf(rule.get(), criteria))) matching.push_back(std::move(rule));
    }
}

// The policy, its rule collection and a fresh rule object; `code` is 0 when all three exist.
struct FirewallObjects {
    ComObject<INetFwPolicy2> policy;
    ComObject<INetFwRules> rules;
    ComObject<INetFwRule> freshRule;
    jint code = 0;
};

FirewallObjects openFirewall(jint freshRuleBase) {
    FirewallObjects objects;
    HRESULT result = CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2,
                                      objects.policy.putVoid());
    if (FAILED(result) || !objects.policy) {
        objects.code = firewall::errorCode(result, firewall::kCreatingPolicy);
        return objects;
    }
    result = objects.policy->get_Rules(objects.rules.put());
    if (FAILED(result) || !objects.rules) {
        objects.code = firewall::errorCode(result, firewall::kReadingRules);
        return objects;
    }
    result = CoCreateInstance(CLSID_NetFwRule, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwRule,
                              objects.freshRule.putVoid());
    if (FAILED(result) || !objects.freshRule) objects.code = firewall::errorCode(result, freshRuleBase);
    return objects;
}

// The properties of a new rule, in order; the code of the first that the firewall refuses.
jint setRuleProperties(INetFwRule* rule, const RuleDescription& description, jint profiles, bool enabled) {
    const Bstr name(description.name.get()), group(description.group.get()),
        text(description.description.get()), application(description.application.get()),
        localPorts(description.localPorts.get()), localAddresses(description.localAddresses.get()),
        remotePorts(description.remotePorts.get()), remoteAddresses(description.remoteAddresses.get());
    if (FAILED(rule->put_Name(name.get()))) return 610;
    if (!description.group.isNull() && FAILED(rule->put_Grouping(group.get()))) return 611;
    if (!description.description.isNull() && FAILED(rule->put_Description(text.get()))) return 612;
    if (FAILED(rule->put_Direction(static_cast<NET_FW_RULE_DIRECTION>(description.direction)))) return 613;
    if (FAILED(rule->put_Action(NET_FW_ACTION_ALLOW))) return 614;
    if (FAILED(rule->put_ApplicationName(application.get()))) return 615;
    if (FAILED(rule->put_Protocol(description.protocol))) return 616;
    if (FAILED(rule->put_Profiles(profiles))) return 617;
    if (FAILED(rule->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE))) return 618;
    if (!description.localPorts.isNull() && FAILED(rule->put_LocalPorts(localPorts.get()))) return 619;
    if (!description.localAddresses.isNull() && FAILED(rule->put_LocalAddresses(localAddresses.get()))) return 620;
    if (!description.remotePorts.isNull() && FAILED(rule->put_RemotePorts(remotePorts.get()))) return 621;
    if (!description.remoteAddresses.isNull() && FAILED(rule->put_RemoteAddresses(remoteAddresses.get())))
        return 622;
    return 0;
}

// The matching rules of the collection, renamed and removed one by one.
class CollectionRules final : public firewall::MatchedRules {
public:
    CollectionRules(INetFwRules* rules, std::vector<ComObject<INetFwRule>>& matching)
        : rules_(rules), matching_(matching) {}

    std::size_t count() const override { return matching_.size(); }
    std::int32_t name(std::size_t rule, std::wstring& name) override {
        Bstr text;
        const HRESULT result = matching_[rule]->get_Name(text.put());
        if (SUCCEEDED(result)) name = text.value().value_or(L"");
        return result;
    }
    std::int32_t rename(std::size_t rule, const std::wstring& name) override {
        const Bstr text(name.c_str());
        return matching_[rule]->put_Name(text.get());
    }
    std::int32_t removeByName(const std::wstring& name) override {
        const Bstr text(name.c_str());
        return rules_->Remove(text.get());
    }

private:
    INetFwRules* rules_;
    std::vector<ComObject<INetFwRule>>& matching_;
};

// Texts that could not be read (no memory; the exception is pending for Java) end the call as
// early as a policy that could not be made.
constexpr jint kArgumentsUnreadable = firewall::kCreatingPolicy;

}  // namespace

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_initialize0(JNIEnv*,
                                                                                                            jclass) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_addRule0(
    JNIEnv* env, jclass, jstring application, jstring name, jstring group, jint direction, jint protocol,
    jstring description, jstring localPorts, jstring localAddresses, jstring remotePorts, jstring remoteAddresses,
    jint profiles, jboolean enabled) {
    const RuleDescription rule(env, application, name, group, direction, protocol, description, localPorts,
                               localAddresses, remotePorts, remoteAddresses);
    if (rule.failed()) return kArgumentsUnreadable;
    FirewallObjects firewallObjects = openFirewall(firewall::kCreatingRuleToAdd);
    if (firewallObjects.code != 0) return firewallObjects.code;
    const firewall::MatchCriteria criteria = criteriaFor(rule, firewallObjects.freshRule.get());
    // A rule found before the walk broke off is a duplicate all the same: nothing is added.
    std::vector<ComObject<INetFwRule>> matching;
    const jint walked = findMatchingRules(firewallObjects.rules.get(), criteria, matching);
    if (!matching.empty()) return firewall::kAlreadyExists;
    if (walked != 0) return walked;
    if (const jint code = setRuleProperties(firewallObjects.freshRule.get(), rule, profiles, enabled != JNI_FALSE);
        code != 0)
        return code;
    const HRESULT result = firewallObjects.rules->Add(firewallObjects.freshRule.get());
    return FAILED(result) ? firewall::errorCode(result, firewall::kChangingRules) : 0;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_deleteRules0(
    JNIEnv* env, jclass, jstring application, jstring name, jstring group, jint direction, jint protocol,
    jstring description, jstring localPorts, jstring localAddresses, jstring remotePorts, jstring remoteAddresses) {
    const RuleDescription rule(env, application, name, group, direction, protocol, description, localPorts,
                               localAddresses, remotePorts, remoteAddresses);
    if (rule.failed()) return kArgumentsUnreadable;
    FirewallObjects firewallObjects = openFirewall(firewall::kCreatingRuleToDelete);
    if (firewallObjects.code != 0) return firewallObjects.code;
    const firewall::MatchCriteria criteria = criteriaFor(rule, firewallObjects.freshRule.get());
    std::vector<ComObject<INetFwRule>> matching;
    if (const jint code = findMatchingRules(firewallObjects.rules.get(), criteria, matching); code != 0) return code;
    CollectionRules collection(firewallObjects.rules.get(), matching);
    return firewall::deleteMatchedRules(collection);
}

extern "C" JNIEXPORT jlong JNICALL
Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_getCurrentProfileTypes0(JNIEnv*, jclass) {
    ComObject<INetFwPolicy2> policy;
    HRESULT result =
        CoCreateInstance(CLSID_NetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, IID_INetFwPolicy2, policy.putVoid());
    if (FAILED(result) || !policy) return static_cast<jlong>(firewall::errorCode(result, firewall::kCreatingPolicy)) << 32;
    long profiles = 0;
    result = policy->get_CurrentProfileTypes(&profiles);
    if (FAILED(result)) return static_cast<jlong>(firewall::errorCode(result, firewall::kReadingRules)) << 32;
    return static_cast<jlong>(static_cast<std::int32_t>(profiles));
}
