#include "platform/run_state.h"

RunState runState;
