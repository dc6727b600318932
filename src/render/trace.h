// The render driver: opens the image, renders the bands (one in the calling thread, or 2, 4 or 8
// in as many threads), prints the rendering time, writes the image and frees the scene.
#pragma once

enum class Edition { single, multi };

// Which program this is; main sets it before anything else.
extern Edition edition;

void doTrace();
// Fills the first n pairs of iBounds for the image height and prints the thread count.
void initMTBounds(int n);
