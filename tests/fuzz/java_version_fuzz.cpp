// The version rules and the readers of java.exe's output and of PE headers over arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "jre/java_output.h"
#include "jre/pe_machine.h"
#include "jre/version_rules.h"
#include "media/byte_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string version;
    jre::parseJavaVersionOutput(text, version);

    const size_t half = size / 2;
    const std::string a = text.substr(0, half);
    const std::string b = text.substr(half);
    // A strict order: never both ways, never a text against itself.
    if (jre::isVersionGreater(a, b) && jre::isVersionGreater(b, a)) std::abort();
    if (jre::isVersionGreater(a, a)) std::abort();
    const jre::VersionComponents bound = jre::splitVersion(a);
    const jre::VersionComponents components = jre::splitVersion(b);
    // An exact bound admits its own version both ways.
    if (!jre::isVersionInBounds(bound, bound, false, false) || !jre::isVersionInBounds(bound, bound, true, false)) {
        std::abort();
    }
    jre::isVersionInBounds(bound, components, true, true);
    jre::isVersionStringInRange(version, bound, components);

    media::MemoryByteSource source(data, size);
    jre::readPeMachine(source, "fuzz.exe");
    return 0;
}

std::vector<std::vector<uint8_t>> fuzzSeeds() {
    auto bytes = [](const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); };
    std::vector<uint8_t> pe(0x86, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[60] = 0x80;
    pe[0x80] = 'P';
    pe[0x81] = 'E';
    pe[0x84] = 0x4C;
    pe[0x85] = 0x01;
    return {
        bytes("openjdk version \"17.0.2\" 2022-01-18\r\nOpenJDK Runtime Environment (build 17.0.2+8)\r\n"),
        bytes("java version \"1.8.0_292-b10\nx version \"11.0.2-ea+9"),
        bytes("1.8.0_20-ea..__--++99999999999.-1"),
        pe,
    };
}
