#include "relative/relative.h"

int main(int argc, char** argv) { return RelativeMain(argc, argv); }
