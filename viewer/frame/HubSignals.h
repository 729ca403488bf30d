// The shell's name for the hub's change signals; the class lives with the shared widgets so that
// the screen areas, which do not link the shell, reach it too.
#pragma once

#include "viewer/widgets/HubSignals.h"
