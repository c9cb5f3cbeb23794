#pragma once

#include <string>
#include <vector>

// Helpers shared by the readers of our sound recipes and song scores.

// The line without its comment (from a '#' that starts a word) and without trailing blanks.
std::string StripComment(const std::string& line);

// Words separated by blanks.
std::vector<std::string> SplitWords(const std::string& line);

// Lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text);

bool ParseDouble(const std::string& word, double& value);
bool ParseInt(const std::string& word, int& value);

bool ReadTextFile(const std::string& path, std::string& text);
bool WriteBinaryFile(const std::string& path, const std::vector<unsigned char>& bytes);
bool ReadBinaryFile(const std::string& path, std::vector<unsigned char>& bytes);
