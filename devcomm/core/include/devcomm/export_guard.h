// Runs an export's body behind the package's one export barrier, so that no
// exception leaves the library.
#pragma once

#include "export_barrier.h"

namespace devcomm {

template <class Result, class Body> Result Guard(Result failure, Body&& body) {
    return export_barrier::RunGuarded<Result>(failure, static_cast<Body&&>(body));
}

} // namespace devcomm
