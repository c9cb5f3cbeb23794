#include "TextScan.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

std::string StripComment(const std::string& line) {
    // '#' also writes a sharp ("c#5"), so only a '#' that starts a word opens a comment.
    size_t cut = 0;
    while (cut < line.size() &&
           !(line[cut] == '#' && (cut == 0 || line[cut - 1] == ' ' || line[cut - 1] == '\t'))) {
        ++cut;
    }
    std::string result = line.substr(0, cut);
    while (!result.empty() &&
           (result.back() == ' ' || result.back() == '\t' || result.back() == '\r')) {
        result.pop_back();
    }
    return result;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream stream(line);
    std::string word;
    while (stream >> word) words.push_back(word);
    return words;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

bool ParseDouble(const std::string& word, double& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double parsed = std::strtod(word.c_str(), &end);
    if (errno != 0 || end != word.c_str() + word.size()) return false;
    value = parsed;
    return true;
}

bool ParseInt(const std::string& word, int& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(word.c_str(), &end, 10);
    if (errno != 0 || end != word.c_str() + word.size()) return false;
    if (parsed < -1000000 || parsed > 1000000) return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ReadTextFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

bool WriteBinaryFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

bool ReadBinaryFile(const std::string& path, std::vector<unsigned char>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}
