#include "engine/ResultShown.h"

std::atomic<bool> resultShown{false};
