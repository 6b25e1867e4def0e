// The start-up movie kept in res/movies/startup.vmp and compiled into the
// program's resources as "VMPA" 571, made with the movie writer: 24 frames
// at 12 per second on a 395 x 298 stage (the start-up screen's player
// window), the program's name rising letter by letter over a swoosh that
// grows beneath it.
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> StartupMovie();
