// The engine's and the installation's name for the hand-over rule, which both programs share.
#pragma once

#include "shared/HandOverFile.h"
