#include "dialup/SimDialUpFile.h"

#include "core/Format.h"

namespace {

std::vector<std::string_view> SplitWords(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

// A non-negative whole number, nothing else.
bool ReadCount(std::string_view text, int& value) {
    return !text.empty() && AllDigits(text) && ScanInt(text, value);
}

// Reads the options after the device; returns "" or what is wrong.
std::string ReadEntryOptions(const std::vector<std::string_view>& words, SimDialUpEntry& entry) {
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string_view word = words[i];
        const std::size_t eq = word.find('=');
        const std::string_view key = word.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : word.substr(eq + 1);
        if (eq == std::string_view::npos) {
            return "option without value: " + std::string(word);
        }
        if (key == "delay") {
            if (!ReadCount(value, entry.delayMs)) {
                return "bad delay: " + std::string(value);
            }
        } else if (key == "fail") {
            if (!ReadCount(value, entry.failCode)) {
                return "bad fail code: " + std::string(value);
            }
        } else if (key == "user") {
            entry.checkUser = true;
            entry.user = value;
        } else if (key == "password") {
            entry.checkPassword = true;
            entry.password = value;
        } else {
            return "unknown option: " + std::string(key);
        }
    }
    return {};
}

std::string ReadForeignOptions(const std::vector<std::string_view>& words, SimForeignConnection& foreign) {
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (word.substr(0, 4) != "for=") {
            return "unknown option: " + std::string(word);
        }
        if (!ReadCount(word.substr(4), foreign.forMs)) {
            return "bad duration: " + std::string(word.substr(4));
        }
    }
    return {};
}

} // namespace

SimDialUpFile ParseSimDialUpFile(std::string_view text) {
    SimDialUpFile file;
    int lineNumber = 0;
    for (const std::string_view rawLine : SplitLines(text)) {
        ++lineNumber;
        const std::string_view line = TrimView(rawLine);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t eq = line.find('=');
        const std::string_view name = eq == std::string_view::npos ? std::string_view() : TrimView(line.substr(0, eq));
        const std::vector<std::string_view> words =
            eq == std::string_view::npos ? std::vector<std::string_view>() : SplitWords(line.substr(eq + 1));
        std::string problem;
        if (name.empty()) {
            problem = "expected <name>=<device>";
        } else if (words.empty()) {
            problem = "no device";
        } else if (name == "foreign") {
            SimForeignConnection foreign;
            foreign.device = words.front();
            problem = ReadForeignOptions(words, foreign);
            if (problem.empty()) {
                file.foreign.push_back(std::move(foreign));
            }
        } else {
            SimDialUpEntry entry;
            entry.name = name;
            entry.device = words.front();
            problem = ReadEntryOptions(words, entry);
            if (problem.empty()) {
                file.entries.push_back(std::move(entry));
            }
        }
        if (!problem.empty()) {
            file.errors.push_back(StrFormat("line %d: %s", lineNumber, problem.c_str()));
        }
    }
    return file;
}
