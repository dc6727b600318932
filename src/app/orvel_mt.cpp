// The multi-threaded renderer: the image is rendered in 2, 4 or 8 bands at once.
#include "app/main.h"

int main(int argc, char** argv) { return orvelMain(argc, argv, Edition::multi); }
