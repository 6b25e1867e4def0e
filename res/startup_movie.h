// The start-up movie: the movie the start-up screen plays, resource type
// "VMPA", id 571. Its bytes are res/movies/startup.vmp (made by the movie
// writer: tests/movie/qt/startup_movie.cpp), compiled in.
#pragma once

#include <cstdint>
#include <span>

#include "platform/qt/win_types.h"

constexpr char kMovieResourceType[] = "VMPA";
constexpr UINT kStartupMovie = 571;

// The movie's bytes (empty when the build found no movie file).
std::span<const uint8_t> StartupMovieData();
