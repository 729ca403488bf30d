// The event-type texts the screens show are the ones both programs share.
#pragma once

#include "shared/EventTypes.h"
