#include "flow/flow.h"

int main(int argc, char** argv) { return txr::runMain(argc, argv); }
