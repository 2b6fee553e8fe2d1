#pragma once

#include <QString>

#include <pybind11/pybind11.h>

// ombrel.Error, raised with the program's words.
namespace PyError {

void setType(const pybind11::object &error);
[[noreturn]] void raise(const QString &words);

} // namespace PyError
