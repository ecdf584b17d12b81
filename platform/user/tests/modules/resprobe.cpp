// A module with resources of every kind the platform reads, and code.
#include "win/base.h"

DLLEXPORT int ResProbeAnswer() {
    return 42;
}
