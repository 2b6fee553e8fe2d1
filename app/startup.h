#pragma once

#include <QString>

class QApplication;

namespace Startup {

// Point size of the application font: 9 points at 96 dpi, scaled down as the
// logical dpi grows, truncated to a whole number.
int fontPointSize(double logicalDpi);

// The palette colour named by the style sheet: 7 characters from index 20.
QString paletteColour(const QString &styleSheet);

// Style sheet, palette and font of the whole application. Families that can
// stand in for the interface font (Chinese text included) are registered.
void applyLook(QApplication &app);

// Whether a graphical display can be reached (Linux: X11 or Wayland, or a
// platform chosen explicitly).
bool displayAvailable();

// The command line before any window: true when it asks for help or the
// version (answered on the terminal by QCommandLineParser, which then ends
// the process).
bool asksForText(int argc, char *argv[]);
// Whether Qt's -platform option is on the command line.
bool platformGiven(int argc, char *argv[]);

// The whole program: look, main window, event loop, teardown.
int run(int argc, char *argv[]);

} // namespace Startup
