// Band control: how the render bands tell the driver that rows were lost, and how the driver
// asks the bands to stop. The scans report here; the driver reads it. Safe to use from any band.
#pragma once

#include <cstdint>

// The status of a render stopped by a program that embeds the renderer, recorded as a failure.
inline constexpr int bandsCancelled = -100;

// Clears the failure, the stop request and the count of rays before a render starts.
void resetBands();
// A band that loses rows records a non-zero status; the first one recorded wins.
void recordBandFailure(int status);
// The status recorded since resetBands, 0 when every band finished its rows.
int bandFailure();
// After a fatal error the other bands are asked to stop at their next row.
void stopAllBands();
bool bandsStopping();
// The rays the render threads traced, counted as each thread ends its rows.
void countRays(std::uint64_t rays);
std::uint64_t raysTraced();
