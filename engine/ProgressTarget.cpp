#include "engine/ProgressTarget.h"

std::atomic<ProgressTarget*> progressTarget{nullptr};
