// (filled in with its component)
#pragma once

#include "win/types.h"
