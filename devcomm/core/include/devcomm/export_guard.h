// Runs an export's body so that no exception leaves the library.
#pragma once

namespace devcomm {

template <class Result, class Body> Result Guard(Result failure, Body&& body) {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

} // namespace devcomm
