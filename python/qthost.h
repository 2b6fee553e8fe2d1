#pragma once

#include <functional>

// The module's Qt: a QCoreApplication of its own on a thread of its own,
// made when the module is imported and ended when Python exits, so a script
// never runs an event loop. Its texts are the command line's, in the same
// language (Chinese when the locale asks for it, English otherwise).
namespace QtHost {

void start();
void stop();
// Runs `job` on the Qt thread and returns when it has (the caller lets go of
// the GIL first when the job may wait).
void call(const std::function<void()> &job);

} // namespace QtHost
