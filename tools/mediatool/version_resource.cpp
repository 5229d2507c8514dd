#include "mediatool/version_resource.h"

#include "mediatool/build_error.h"
#include "mediatool/pe_image.h"

namespace media {

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedInfoSize = 52;

void pad4(std::vector<uint8_t>& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

void appendText(std::vector<uint8_t>& out, const std::u16string& text) {
    for (const char16_t unit : text) appendLittleEndian16(out, unit);
    appendLittleEndian16(out, 0);
}

// One node: length, value length, type (1 text, 0 binary), key, value, children; each part on
// a 4-byte boundary. Offsets are relative to the block's start, which is itself aligned.
struct Node {
    std::u16string key;
    std::vector<uint8_t> value;
    uint16_t valueLength = 0;
    bool text = false;
    std::vector<Node> children;
};

bool appendNode(std::vector<uint8_t>& out, const Node& node) {
    pad4(out);
    const size_t start = out.size();
    appendLittleEndian16(out, 0);
    appendLittleEndian16(out, node.valueLength);
    appendLittleEndian16(out, node.text ? 1 : 0);
    appendText(out, node.key);
    pad4(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const Node& child : node.children) {
        if (!appendNode(out, child)) return false;
    }
    const size_t length = out.size() - start;
    if (length > kVersionBlockLimit) return false;
    putLittleEndian16(out, start, static_cast<uint16_t>(length));
    return true;
}

uint32_t high(const FourPartVersion& v) { return (uint32_t{v[0]} << 16) | v[1]; }
uint32_t low(const FourPartVersion& v) { return (uint32_t{v[2]} << 16) | v[3]; }

// A node read back: where its value and children lie.
struct ReadNode {
    size_t start = 0;
    size_t end = 0;
    uint16_t valueLength = 0;
    std::u16string key;
    size_t value = 0;  // offset of the value, 4-aligned after the key
};

std::optional<ReadNode> readNode(const ByteFields& block, size_t at, size_t limit) {
    ReadNode node;
    node.start = at;
    if (at > limit) return std::nullopt;
    const uint16_t length = block.u16(at);
    if (length < 6 || length > limit - at) return std::nullopt;
    node.end = at + length;
    node.valueLength = block.u16(at + 2);
    size_t cursor = at + 6;
    for (;;) {
        if (cursor + 2 > node.end) return std::nullopt;
        const uint16_t unit = block.u16(cursor);
        cursor += 2;
        if (unit == 0) break;
        node.key += static_cast<char16_t>(unit);
    }
    node.value = (cursor + 3) / 4 * 4;
    return node;
}

}  // namespace

std::optional<FourPartVersion> parseFourPartVersion(const std::string& text) {
    FourPartVersion version{};
    size_t part = 0;
    size_t digits = 0;
    uint32_t value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || part == 4) return std::nullopt;
            version[part++] = static_cast<uint16_t>(value);
            digits = 0;
            value = 0;
            continue;
        }
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(text[i] - '0');
        if (++digits > 5 || value > 0xFFFF) return std::nullopt;
    }
    if (part != 4) return std::nullopt;
    return version;
}

std::string fourPartVersionText(const FourPartVersion& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
           std::to_string(version[3]);
}

std::optional<std::vector<uint8_t>> versionResource(const VersionInfo& info) {
    Node root{u"VS_VERSION_INFO", {}, kFixedInfoSize, false, {}};
    for (const uint32_t field : {kFixedSignature, 0x00010000u, high(info.fileVersion), low(info.fileVersion),
                                 high(info.productVersion), low(info.productVersion),
                                 0x3Fu,        // every flag known
                                 0u,           // none set: a release build
                                 0x00040004u,  // VOS_NT_WINDOWS32
                                 1u,           // VFT_APP
                                 0u, 0u, 0u}) {
        appendLittleEndian32(root.value, field);
    }
    Node table{u"040904B0", {}, 0, true, {}};
    for (const auto& [key, value] : info.strings) {
        Node entry{key, {}, 0, true, {}};
        appendText(entry.value, value);
        if (value.size() + 1 > 0xFFFF) return std::nullopt;
        entry.valueLength = static_cast<uint16_t>(value.size() + 1);
        table.children.push_back(std::move(entry));
    }
    root.children.push_back({u"StringFileInfo", {}, 0, true, {std::move(table)}});
    Node translation{u"Translation", {}, 4, false, {}};
    appendLittleEndian16(translation.value, 0x0409);
    appendLittleEndian16(translation.value, 1200);
    root.children.push_back({u"VarFileInfo", {}, 0, true, {std::move(translation)}});

    std::vector<uint8_t> out;
    if (!appendNode(out, root)) return std::nullopt;
    return out;
}

std::optional<VersionInfo> readVersionResource(std::span<const uint8_t> bytes) {
    try {
        const ByteFields block(bytes, "version block");
        const auto root = readNode(block, 0, bytes.size());
        if (!root || root->key != u"VS_VERSION_INFO" || root->valueLength < kFixedInfoSize) return std::nullopt;
        if (block.u32(root->value) != kFixedSignature) return std::nullopt;
        VersionInfo info;
        const auto split = [](uint32_t ms, uint32_t ls) {
            return FourPartVersion{static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms),
                                   static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls)};
        };
        info.fileVersion = split(block.u32(root->value + 8), block.u32(root->value + 12));
        info.productVersion = split(block.u32(root->value + 16), block.u32(root->value + 20));
        for (size_t at = (root->value + root->valueLength + 3) / 4 * 4; at + 6 <= root->end;) {
            const auto child = readNode(block, at, root->end);
            if (!child) break;
            if (child->key == u"StringFileInfo") {
                const auto table = readNode(block, child->value, child->end);
                if (!table) break;
                for (size_t s = table->value; s + 6 <= table->end;) {
                    const auto entry = readNode(block, s, table->end);
                    if (!entry) break;
                    std::u16string value;
                    for (size_t v = entry->value; v + 2 <= entry->end; v += 2) {
                        const uint16_t unit = block.u16(v);
                        if (unit == 0) break;
                        value += static_cast<char16_t>(unit);
                    }
                    info.strings.emplace_back(entry->key, value);
                    s = (entry->end + 3) / 4 * 4;
                }
            }
            at = (child->end + 3) / 4 * 4;
        }
        return info;
    } catch (const MediaBuildError&) {
        return std::nullopt;
    }
}

}  // namespace media
