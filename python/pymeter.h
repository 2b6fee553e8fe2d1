#pragma once

#include <pybind11/pybind11.h>

// ombrel.open() and ombrel.Meter: a meter opened from Python, its latest
// reading and its readings at its own pace.
void bindMeter(pybind11::module_ &module);
