// Bytes and PNGs of the common kinds, from which the texture encoding and PNG decoding tests
// build their inputs.
#pragma once

#include "preview/tex.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace kvb::test {

// Bytes written as numbers, NULs included.
std::string B(std::initializer_list<int> bytes);

// A PNG of channels 8-bit samples per pixel (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA).
std::string StbPng(int width, int height, int channels, const std::string &samples);

// The red, green and blue samples of the pixels, one pixel after another.
std::string RgbSamples(const std::vector<TTexColour> &pixels);

} // namespace kvb::test
