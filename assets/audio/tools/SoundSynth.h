#pragma once

#include <vector>

#include "SoundRecipe.h"
#include "WaveFile.h"

// Mixes the layers of a recipe into samples in -1..1, before any echo or normalising.
std::vector<double> MixLayers(const SoundRecipe& recipe);

// The whole recipe: layers, echo, DC removal and fades, levelled to the recipe's loudness (or
// peak), quantised to 16-bit mono. Same recipe, same bytes: the noise comes from the recipe's seed.
WaveFile RenderSound(const SoundRecipe& recipe);
