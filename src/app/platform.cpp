#include "app/platform.h"

Platform platform;
