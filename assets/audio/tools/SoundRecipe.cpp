#include "SoundRecipe.h"

#include <map>

#include "TextScan.h"

namespace {

bool ParseWaveform(const std::string& word, Waveform& waveform) {
    static const std::map<std::string, Waveform> kNames = {
        {"sine", Waveform::Sine},         {"square", Waveform::Square}, {"saw", Waveform::Saw},
        {"triangle", Waveform::Triangle}, {"noise", Waveform::Noise},   {"voice", Waveform::Voice}};
    auto found = kNames.find(word);
    if (found == kNames.end()) return false;
    waveform = found->second;
    return true;
}

// "1:1,2.76:0.4,5.4:0.2": frequency ratio and amplitude of each partial.
bool ParsePartials(const std::string& word, std::vector<Partial>& partials) {
    partials.clear();
    size_t start = 0;
    while (start <= word.size()) {
        size_t end = word.find(',', start);
        if (end == std::string::npos) end = word.size();
        const std::string item = word.substr(start, end - start);
        const size_t colon = item.find(':');
        Partial partial;
        if (colon == std::string::npos || !ParseDouble(item.substr(0, colon), partial.ratio) ||
            !ParseDouble(item.substr(colon + 1), partial.amplitude) || partial.ratio <= 0.0) {
            return false;
        }
        partials.push_back(partial);
        start = end + 1;
    }
    return !partials.empty();
}

// Applies one "key value..." setting of a layer; consumes its values from words.
bool SetLayerValue(SoundLayer& layer, const std::vector<std::string>& words, size_t& index,
                   std::string& error) {
    const std::string& key = words[index];
    auto value = [&](size_t offset) -> const std::string& {
        static const std::string kEmpty;
        return index + offset < words.size() ? words[index + offset] : kEmpty;
    };
    bool ok = true;
    size_t used = 2;
    if (key == "at") {
        ok = ParseDouble(value(1), layer.start) && layer.start >= 0.0;
    } else if (key == "for") {
        ok = ParseDouble(value(1), layer.length) && layer.length > 0.0;
    } else if (key == "pitch") {
        ok = ParseContour(value(1), true, layer.pitch);
    } else if (key == "level") {
        ok = ParseContour(value(1), false, layer.level);
    } else if (key == "lowpass") {
        ok = ParseContour(value(1), true, layer.lowpass);
    } else if (key == "highpass") {
        ok = ParseContour(value(1), true, layer.highpass);
    } else if (key == "f1") {
        ok = ParseContour(value(1), false, layer.formant1);
    } else if (key == "f2") {
        ok = ParseContour(value(1), false, layer.formant2);
    } else if (key == "f3") {
        ok = ParseContour(value(1), false, layer.formant3);
    } else if (key == "resonance") {
        ok = ParseDouble(value(1), layer.resonance) && layer.resonance > 0.1;
    } else if (key == "gain") {
        ok = ParseDouble(value(1), layer.gain);
    } else if (key == "attack") {
        ok = ParseDouble(value(1), layer.attack) && layer.attack >= 0.0;
    } else if (key == "decay") {
        ok = ParseDouble(value(1), layer.decay) && layer.decay >= 0.0;
    } else if (key == "release") {
        ok = ParseDouble(value(1), layer.release) && layer.release >= 0.0;
    } else if (key == "duty") {
        ok = ParseDouble(value(1), layer.duty) && layer.duty > 0.0 && layer.duty < 1.0;
    } else if (key == "breath") {
        ok = ParseDouble(value(1), layer.breath) && layer.breath >= 0.0;
    } else if (key == "partials") {
        ok = ParsePartials(value(1), layer.partials);
    } else if (key == "vibrato") {
        ok = ParseDouble(value(1), layer.vibratoRate) && ParseDouble(value(2), layer.vibratoCents);
        used = 3;
    } else {
        error = "unknown layer setting '" + key + "'";
        return false;
    }
    if (!ok) {
        error = "bad value for layer setting '" + key + "'";
        return false;
    }
    index += used;
    return true;
}

bool SetGlobal(SoundRecipe& recipe, const std::vector<std::string>& words, std::string& error) {
    const std::string& key = words[0];
    bool ok = false;
    size_t needed = 2;
    if (key == "rate") {
        ok = words.size() == 2 && ParseInt(words[1], recipe.sampleRate) &&
             (recipe.sampleRate == 44100 || recipe.sampleRate == 22050);
    } else if (key == "length") {
        ok = words.size() == 2 && ParseDouble(words[1], recipe.length) && recipe.length > 0.0 &&
             recipe.length < 30.0;
    } else if (key == "peak") {
        ok = words.size() == 2 && ParseDouble(words[1], recipe.peakDb) && recipe.peakDb <= 0.0;
    } else if (key == "loudness") {
        ok = words.size() == 2 && ParseDouble(words[1], recipe.loudness) && recipe.loudness < 0.0 &&
             recipe.loudness > -70.0;
        recipe.levelByLoudness = true;
    } else if (key == "seed") {
        int seed = 0;
        ok = words.size() == 2 && ParseInt(words[1], seed) && seed > 0;
        recipe.seed = static_cast<uint32_t>(seed);
    } else if (key == "fade") {
        needed = 3;
        ok = words.size() == 3 && ParseDouble(words[1], recipe.fadeIn) &&
             ParseDouble(words[2], recipe.fadeOut) && recipe.fadeIn > 0.0 && recipe.fadeOut > 0.0;
    } else if (key == "echo") {
        needed = 3;
        ok = words.size() == 3 && ParseDouble(words[1], recipe.echoDelay) &&
             ParseDouble(words[2], recipe.echoFeedback) && recipe.echoDelay > 0.0 &&
             recipe.echoFeedback >= 0.0 && recipe.echoFeedback < 0.95;
    } else {
        error = "unknown keyword '" + key + "'";
        return false;
    }
    if (!ok) error = "'" + key + "' needs " + std::to_string(needed - 1) + " valid value(s)";
    return ok;
}

bool IsGlobalKeyword(const std::string& word) {
    return word == "rate" || word == "length" || word == "peak" || word == "loudness" ||
           word == "seed" || word == "fade" || word == "echo" || word == "layer";
}

}  // namespace

bool ParseSoundRecipe(const std::string& text, SoundRecipe& recipe, std::string& error) {
    recipe = SoundRecipe{};
    const std::vector<std::string> lines = SplitLines(text);
    bool inLayer = false;
    for (size_t lineIndex = 0; lineIndex < lines.size(); ++lineIndex) {
        const std::vector<std::string> words = SplitWords(StripComment(lines[lineIndex]));
        if (words.empty()) continue;
        const std::string where = "line " + std::to_string(lineIndex + 1) + ": ";
        size_t index = 0;
        if (words[0] == "layer") {
            SoundLayer layer;
            if (words.size() < 2 || !ParseWaveform(words[1], layer.waveform)) {
                error = where + "'layer' needs a waveform (sine square saw triangle noise voice)";
                return false;
            }
            recipe.layers.push_back(layer);
            inLayer = true;
            index = 2;
        } else if (IsGlobalKeyword(words[0])) {
            inLayer = false;
            if (!SetGlobal(recipe, words, error)) {
                error = where + error;
                return false;
            }
            continue;
        } else if (!inLayer) {
            error = where + "unknown keyword '" + words[0] + "'";
            return false;
        }
        while (index < words.size()) {
            if (!SetLayerValue(recipe.layers.back(), words, index, error)) {
                error = where + error;
                return false;
            }
        }
    }
    if (recipe.layers.empty()) {
        error = "no layers";
        return false;
    }
    return true;
}
