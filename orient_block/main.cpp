// orient-block: the relative orientation of every pair of a block of photographs into a
// database that survives interruption.
#include "orient_block/run.h"

int main(int argc, char** argv) { return orient_block::OrientBlockMain(argc, argv); }
