// The progress bar: its scale line before the render, and ten ticks over the image as rows finish.
#pragma once

// The bar, and the ticks after rows: ticks are 0xB1 bytes, or U+2592 in UTF-8 on a terminal.
void showProgressInit();
void showProgress(int y);
