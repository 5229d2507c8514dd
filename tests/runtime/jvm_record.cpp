#include "jvm_record.h"

#include <algorithm>
#include <fstream>

#include "jvm_record_format.h"

namespace stand_in {

JvmRecord JvmRecord::read(const std::wstring& path) {
    JvmRecord record;
    std::ifstream file(path.c_str(), std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) record.lines_.push_back(record_format::splitLine(line));
    }
    return record;
}

std::vector<JvmRecord::Line> JvmRecord::all(const std::string& kind) const {
    std::vector<Line> found;
    for (const Line& line : lines_) {
        if (line[0] == kind) found.emplace_back(line.begin() + 1, line.end());
    }
    return found;
}

bool JvmRecord::has(const Line& wanted) const { return std::find(lines_.begin(), lines_.end(), wanted) != lines_.end(); }

std::vector<std::string> JvmRecord::firstFields(const std::string& kind) const {
    std::vector<std::string> fields;
    for (const Line& line : all(kind)) fields.push_back(line.empty() ? std::string() : line[0]);
    return fields;
}

std::vector<std::string> JvmRecord::options() const {
    std::vector<std::string> texts;
    for (const Line& line : all("option")) texts.push_back(line.at(1));
    return texts;
}

std::vector<std::string> JvmRecord::mainArguments() const {
    std::vector<std::string> texts;
    for (const Line& line : all("argument")) texts.push_back(line.at(1));
    return texts;
}

std::vector<std::pair<std::string, std::string>> JvmRecord::properties() const {
    std::vector<std::pair<std::string, std::string>> found;
    for (const Line& line : all("property")) found.emplace_back(line.at(1), line.at(2));
    return found;
}

JvmRecord::Line JvmRecord::outcome() const {
    const auto outcomes = all("outcome");
    return outcomes.empty() ? Line() : outcomes.back();
}

}  // namespace stand_in
