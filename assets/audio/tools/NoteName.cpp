#include "NoteName.h"

#include <cctype>
#include <cmath>

bool ReadPitchClass(const std::string& text, size_t& pos, int& pitchClass) {
    static const int kLetterClass[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    if (pos >= text.size()) return false;
    char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
    if (letter < 'a' || letter > 'g') return false;
    pitchClass = kLetterClass[letter - 'a'];
    ++pos;
    if (pos < text.size() && text[pos] == '#') {
        ++pitchClass;
        ++pos;
    } else if (pos < text.size() && text[pos] == 'b') {
        --pitchClass;
        ++pos;
    }
    return true;
}

bool ParseNoteName(const std::string& text, int& midiKey) {
    size_t pos = 0;
    int pitchClass = 0;
    if (!ReadPitchClass(text, pos, pitchClass)) return false;
    if (pos + 1 != text.size() || !std::isdigit(static_cast<unsigned char>(text[pos]))) {
        return false;
    }
    int octave = text[pos] - '0';
    midiKey = (octave + 1) * 12 + pitchClass;
    return midiKey >= 0 && midiKey <= 127;
}

double MidiKeyToHz(double midiKey) {
    return 440.0 * std::pow(2.0, (midiKey - 69.0) / 12.0);
}
