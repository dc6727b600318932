// The single-threaded renderer.
#include "app/main.h"

int main(int argc, char** argv) { return orvelMain(argc, argv, Edition::single); }
