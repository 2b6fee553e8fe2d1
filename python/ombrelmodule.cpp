// import ombrel: the meters, the runs and the journal from Python, through the
// program's own classes (the same figures as the window and the commands).
#include "pyerror.h"
#include "pyjournal.h"
#include "pymeter.h"
#include "pyrecord.h"
#include "qthost.h"

#include "device/meterport.h"

#include <pybind11/stl.h>

#ifdef OMBREL_SIMULATED
#include "simulator.h"

#include <string>
#endif

namespace py = pybind11;

PYBIND11_MODULE(OMBREL_MODULE, m)
{
    m.doc() = "Ombrel's meters, runs and run journal.";
    QtHost::start();
    // Python's exit ends the module's Qt before the interpreter goes.
    py::module_::import("atexit").attr("register")(py::cpp_function([] {
        py::gil_scoped_release unlocked;
        QtHost::stop();
    }));

    static py::exception<std::runtime_error> error(m, "Error");
    error.doc() = "What Ombrel could not do, in the words the command line uses.";
    PyError::setType(error);
    bindJournal(m);
    bindMeter(m);
    bindRecord(m);

    m.def(
        "meters",
        [] {
            std::vector<AttachedMeter> found;
            {
                py::gil_scoped_release unlocked;
                found = attachedMeters();
            }
            py::list out;
            for (const AttachedMeter &a : found) {
                py::dict d;
                d["model"] = a.model.toStdString();
                d["version"] = a.version.toStdString();
                d["serial"] = a.serial.toStdString();
                d["path"] = a.path.toStdString();
                d["accessible"] = a.accessible;
                out.append(d);
            }
            return out;
        },
        "The meters attached, as `ombrel list --json` gives them: model, version, serial, path, accessible.");

#ifdef OMBREL_SIMULATED
    // The simulated meter plugged in at import, as ombrel-sim's; a script
    // unplugs it, plugs it in again, changes its pace or what it measures.
    static sim::Meter *plugged = nullptr;
    if (!plugged) {
        sim::Identity identity;
        identity.product = L"SIM M512X V1.2";
        identity.serial = L"0012345678";
        plugged = &sim::attach(identity);
    }
    py::class_<sim::Meter, std::unique_ptr<sim::Meter, py::nodelete>>(m, "SimulatedMeter",
                                                                       "The simulated meter of ombrel_sim.")
        .def("unplug", &sim::Meter::unplug)
        .def("plug", &sim::Meter::plug)
        .def_property_readonly("plugged", &sim::Meter::plugged)
        .def("set_rate", &sim::Meter::setReportRate, py::arg("reports_per_second"),
             "Live reports a second (4 by default).")
        .def(
            "set_scenario",
            [](sim::Meter &meter, const std::string &name) {
                sim::Scenario scenario;
                if (!sim::scenarioNamed(name, scenario))
                    throw py::value_error("unknown scenario " + name + ": standard, charge or discharge");
                meter.setScenario(scenario);
            },
            py::arg("name"), "What it measures from its next plugging in: standard, charge or discharge.");
    m.def("simulated_meter", [] { return plugged; }, py::return_value_policy::reference,
          "The simulated meter (ombrel_sim only).");
#endif
}
