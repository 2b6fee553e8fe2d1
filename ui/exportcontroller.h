#pragma once

#include <QObject>
#include <QString>

class QWidget;
class ReadingLog;

// The data menu's exports, asked for through the prompts: a run's records
// as a CSV file (appended to an existing one) or, for a name ending in .sr,
// a sigrok session file (replacing one, when the user says so), and the
// chart as a picture.
// Both write what the user names through the program's one file opener: a
// regular file whole, a FIFO with a reader or a device in place.
class ExportController : public QObject
{
    Q_OBJECT
public:
    // `chart` is the widget whose picture is saved.
    ExportController(QWidget *window, QWidget *chart, QObject *parent = nullptr);

    void exportCsv(const ReadingLog &log, const QString &model);
    void exportPicture();

private:
    QWidget *m_window;
    QWidget *m_chart;
};
