#pragma once

#include <pybind11/pybind11.h>

// Meter.record() and ombrel.Recording: a run recorded from Python as
// `ombrel record` records it, blocking or in the background.
void bindRecord(pybind11::module_ &module);

// Records a run on the meter with this serial number, with the options of
// `ombrel record` as keywords: blocking, its summary; in the background, its
// Recording.
pybind11::object record(const std::string &serial, bool background, const pybind11::kwargs &options);
