// orient: the robust relative orientation of two photographs from their keypoint files.
#include "orient/run.h"

int main(int argc, char** argv) { return orient::OrientMain(argc, argv); }
