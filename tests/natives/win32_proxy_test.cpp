// Win32Proxy: the settings WinHTTP reads (the user's Internet Explorer settings, the machine's
// default proxy) written by the test, and a proxy script served on 127.0.0.1.
#include <windows.h>

#include <winhttp.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "harness/natives_test.h"
#include "http_test_server.h"

namespace natives_test {
namespace {

constexpr wchar_t kConnections[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// A registry value put back as it was (or removed) when the scope ends.
class SavedValue {
public:
    SavedValue(HKEY root, const wchar_t* name) : root_(root), name_(name) {
        DWORD size = 0;
        if (RegGetValueW(root_, kConnections, name_, RRF_RT_REG_BINARY, nullptr, nullptr, &size) == ERROR_SUCCESS) {
            saved_.emplace(size);
            RegGetValueW(root_, kConnections, name_, RRF_RT_REG_BINARY, nullptr, saved_->data(), &size);
        }
    }
    ~SavedValue() {
        if (saved_) set(*saved_);
        else RegDeleteKeyValueW(root_, kConnections, name_);
    }
    void set(const std::vector<unsigned char>& data) const {
        RegSetKeyValueW(root_, kConnections, name_, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
    }
    void remove() const { RegDeleteKeyValueW(root_, kConnections, name_); }

private:
    HKEY root_;
    const wchar_t* name_;
    std::optional<std::vector<unsigned char>> saved_;
};

// The binary settings of Internet Explorer's connections: a header (magic, counter, flags)
// and the proxy, bypass and script texts, each with its length.
std::vector<unsigned char> connectionSettings(std::uint32_t flags, const std::string& proxy, const std::string& bypass,
                                              const std::string& script) {
    std::vector<unsigned char> data;
    const auto word = [&](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) data.push_back(static_cast<unsigned char>(value >> shift));
    };
    const auto text = [&](const std::string& value) {
        word(static_cast<std::uint32_t>(value.size()));
        data.insert(data.end(), value.begin(), value.end());
    };
    word(0x46);
    word(0);
    word(flags);
    text(proxy);
    text(bypass);
    text(script);
    for (int i = 0; i < 8; ++i) word(0);
    return data;
}

constexpr std::uint32_t kDirect = 1, kNamedProxy = 2, kScript = 4, kAutoDetect = 8;

jobjectArray untouched() { return javaStrings({L"-", L"-", L"-", L"-"}); }
std::vector<std::wstring> elements(jobjectArray array) { return textsOf(array).value_or(std::vector<std::wstring>{}); }

class ProxyNatives : public NativesTest {};

TEST_F(ProxyNatives, TheUsersSettingsAsWinHttpReadsThem) {
    EXPECT_TRUE(callBoolean("Win32Proxy.loadFunctions0", {}));
    EXPECT_TRUE(callBoolean("Win32Proxy.loadFunctions0", {}));
    const SavedValue settings(HKEY_CURRENT_USER, L"DefaultConnectionSettings");

    settings.set(connectionSettings(kNamedProxy | kScript, "127.0.0.1:3128", "<local>", "http://127.0.0.1:9/proxy.pac"));
    jobjectArray results = untouched();
    EXPECT_EQ(callInt("Win32Proxy.getIEConfig0", {results}), 0);
    EXPECT_EQ(elements(results), (std::vector<std::wstring>{L"false", L"http://127.0.0.1:9/proxy.pac", L"127.0.0.1:3128",
                                                            L"<local>"}));

    // Detection on, no proxy: only the flag is written.
    settings.set(connectionSettings(kDirect | kAutoDetect, "", "", ""));
    results = untouched();
    EXPECT_EQ(callInt("Win32Proxy.getIEConfig0", {results}), 0);
    EXPECT_EQ(elements(results), (std::vector<std::wstring>{L"true", L"-", L"-", L"-"}));

    // An array shorter than the results gets what fits, and Java no exception.
    results = javaStrings({L"-"});
    settings.set(connectionSettings(kNamedProxy, "127.0.0.1:3128", "", ""));
    EXPECT_EQ(callInt("Win32Proxy.getIEConfig0", {results}), 0);
    EXPECT_EQ(elements(results), std::vector<std::wstring>{L"false"});
}

TEST_F(ProxyNatives, TheMachinesDefaultProxy) {
    const SavedValue settings(HKEY_LOCAL_MACHINE, L"WinHttpSettings");
    WINHTTP_PROXY_INFO named{WINHTTP_ACCESS_TYPE_NAMED_PROXY, const_cast<wchar_t*>(L"127.0.0.1:3128"),
                             const_cast<wchar_t*>(L"*.local;<local>")};
    ASSERT_TRUE(WinHttpSetDefaultProxyConfiguration(&named));
    jobjectArray results = untouched();
    EXPECT_EQ(callInt("Win32Proxy.getDefaultConfig0", {results}), 0);
    EXPECT_EQ(elements(results), (std::vector<std::wstring>{L"true", L"127.0.0.1:3128", L"*.local;<local>", L"-"}));

    settings.remove();
    results = untouched();
    EXPECT_EQ(callInt("Win32Proxy.getDefaultConfig0", {results}), 0);
    EXPECT_EQ(elements(results), (std::vector<std::wstring>{L"false", L"-", L"-", L"-"}));
}

TEST_F(ProxyNatives, AProxyScriptChoosesTheProxyForAUrl) {
    HttpTestServer site;
    site.setScriptProxyPort(3128);
    jobjectArray results = untouched();
    EXPECT_EQ(callLong("Win32Proxy.getAutoProxyConfig0", {results, javaString(site.url(L"/page")),
                                                          javaString(site.url(L"/proxy.pac")),
                                                          WINHTTP_AUTOPROXY_CONFIG_URL, 0, false}),
              0);
    EXPECT_EQ(elements(results), (std::vector<std::wstring>{L"true", L"127.0.0.1:3128", L"-", L"-"}));
    ASSERT_FALSE(site.requests().empty());
    EXPECT_EQ(site.requests()[0].line, "GET /proxy.pac HTTP/1.1");
}

TEST_F(ProxyNatives, DetectionWithoutADiscoveryServiceAndANullUrl) {
    jobjectArray results = untouched();
    const jlong detected = callLong("Win32Proxy.getAutoProxyConfig0",
                                    {results, javaString(L"http://127.0.0.1:9/"), nullptr, WINHTTP_AUTOPROXY_AUTO_DETECT,
                                     WINHTTP_AUTO_DETECT_TYPE_DHCP, true});
    EXPECT_EQ(detected >> 32, 2);
    EXPECT_EQ(detected & 0xFFFFFFFF, ERROR_WINHTTP_AUTODETECTION_FAILED);
    EXPECT_EQ(elements(results), (std::vector<std::wstring>{L"-", L"-", L"-", L"-"}));

    EXPECT_EQ(callLong("Win32Proxy.getAutoProxyConfig0",
                       {results, nullptr, nullptr, WINHTTP_AUTOPROXY_AUTO_DETECT, WINHTTP_AUTO_DETECT_TYPE_DHCP, false}),
              0);
    EXPECT_EQ(elements(results), (std::vector<std::wstring>{L"-", L"-", L"-", L"-"}));
}

}  // namespace
}  // namespace natives_test
