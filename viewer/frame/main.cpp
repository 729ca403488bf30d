// The viewer program Tarvell.
#include "viewer/frame/Startup.h"

int main(int argc, char** argv) { return tarvell::RunViewer(argc, argv); }
