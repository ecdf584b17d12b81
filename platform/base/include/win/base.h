// The base of the stand-in platform: what the package's code includes to see
// the kernel, registry, profile, loader and shell services.
#pragma once

#include <cstring>

#include "win/types.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/strings.h"
#include "win/files.h"
#include "win/ini.h"
#include "win/registry.h"
#include "win/loader.h"
#include "win/environment.h"
#include "win/process.h"
#include "win/system_messages.h"
