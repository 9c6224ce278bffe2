#include "ports/port_records.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ports {

std::optional<PortRecord> readPortRecord(const std::string& folder, const std::string& name) {
    if (folder.empty()) return std::nullopt;
    std::ifstream file(folder + "/" + name);
    std::string line;
    if (!std::getline(file, line)) return std::nullopt;
    PortRecord record;
    std::istringstream location(line);
    std::string word;
    location >> word;
    if (word != "location") return std::nullopt;
    if (location >> record.qualifier >> record.number) {
        record.located = true;
    } else if (line != "location none") {
        return std::nullopt;
    }
    if (std::getline(file, line)) {
        std::istringstream mode(line);
        int set = 0;
        if (!(mode >> word >> record.modeCode >> set) || word != "mode" || (set != 0 && set != 1)) return std::nullopt;
        record.modeAsked = true;
        record.set = set == 1;
        if (std::getline(file, line) && line.rfind("refusal ", 0) == 0) record.refusal = line.substr(8);
    }
    return record;
}

void writePortRecord(const std::string& folder, const std::string& name, const PortRecord& record) {
    if (folder.empty()) return;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::ostringstream text;
    text << "location ";
    if (record.located) {
        text << record.qualifier << ' ' << record.number << '\n';
    } else {
        text << "none\n";
    }
    if (record.modeAsked) {
        text << "mode " << record.modeCode << ' ' << (record.set ? 1 : 0) << '\n';
        if (!record.set) text << "refusal " << record.refusal << '\n';
    }
    // Renamed into place, so that a run reading it never sees half of it.
    const std::string path = folder + "/" + name, part = path + ".part";
    std::FILE* file = std::fopen(part.c_str(), "we");
    if (!file) return;
    const std::string bytes = text.str();
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) == 0 && written && std::rename(part.c_str(), path.c_str()) == 0) return;
    std::remove(part.c_str());
}

void forgetRecord(const std::string& folder, const std::string& name) {
    if (!folder.empty()) std::remove((folder + "/" + name).c_str());
}

std::vector<std::pair<std::string, PortRecord>> readPortRecords(const std::string& folder) {
    std::vector<std::pair<std::string, PortRecord>> records;
    std::error_code unreadable;
    for (const auto& entry : std::filesystem::directory_iterator(folder, unreadable)) {
        const std::string name = entry.path().filename().string();
        if (const std::optional<PortRecord> record = readPortRecord(folder, name)) records.emplace_back(name, *record);
    }
    return records;
}

} // namespace ports
