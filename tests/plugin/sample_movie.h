// The sample movie kept in res/movies/sample.vmp, made with the movie
// writer: 24 frames at 12 per second on a 550 x 400 stage, a red square
// crossing the stage over a green ground under a yellow sun, and two
// buttons (green: play, red: stop) at the bottom left.
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> SampleMovie();

// Where the two buttons are, in window pixels at 550 x 400.
constexpr int kSamplePlayX = 35, kSamplePlayY = 370;
constexpr int kSampleStopX = 95, kSampleStopY = 370;
