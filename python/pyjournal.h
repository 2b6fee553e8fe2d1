#pragma once

#include <pybind11/pybind11.h>

// ombrel.Journal and ombrel.Run: the runs the journal keeps, their records as
// NumPy arrays, their statistics and marks, as the commands read them.
void bindJournal(pybind11::module_ &module);
