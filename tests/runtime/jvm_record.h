// Reading the record file of the stand-in jvm.dll (the line kinds are listed at the top of
// jvm_stand_in.cpp).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace stand_in {

class JvmRecord {
public:
    using Line = std::vector<std::string>;

    static JvmRecord read(const std::wstring& path);

    const std::vector<Line>& lines() const { return lines_; }
    // The lines of one kind, without the kind field.
    std::vector<Line> all(const std::string& kind) const;
    bool has(const Line& line) const;
    // The first field after the kind of every line of that kind.
    std::vector<std::string> firstFields(const std::string& kind) const;

    std::vector<std::string> options() const;
    std::vector<std::string> mainArguments() const;
    std::vector<std::string> violations() const { return firstFields("violation"); }
    // (key, value) of every property, from options and System.setProperty, in order.
    std::vector<std::pair<std::string, std::string>> properties() const;
    // The outcome line without its kind ("returned", {"threw", text}, {"exit", "7"}); empty
    // when main has not ended.
    Line outcome() const;

private:
    std::vector<Line> lines_;
};

}  // namespace stand_in
