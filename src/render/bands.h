// Band control: how the render bands tell the driver that rows were lost, and how the driver
// asks the bands to stop. The scans report here; the driver reads it. Safe to use from any band.
#pragma once

// Clears the failure and the stop request before a render starts.
void resetBands();
// A band that loses rows records a non-zero status; the first one recorded wins.
void recordBandFailure(int status);
// The status recorded since resetBands, 0 when every band finished its rows.
int bandFailure();
// After a fatal error the other bands are asked to stop at their next row.
void stopAllBands();
bool bandsStopping();
