#include "pyerror.h"

namespace PyError {

namespace {
PyObject *g_type = nullptr;
} // namespace

void setType(const pybind11::object &error)
{
    g_type = error.ptr();
}

void raise(const QString &words)
{
    PyErr_SetString(g_type, words.toUtf8().constData());
    throw pybind11::error_already_set();
}

} // namespace PyError
