#pragma once

// A named pipe with a thread at its other end, so that a program that opens
// it is never held for good, and the test can tell whether it did.
#include <QFile>
#include <QString>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class NamedPipe
{
public:
    // The side the program under test would take.
    enum Side { ProgramReads, ProgramWrites };

    NamedPipe(const QString &path, Side side) : m_path(QFile::encodeName(path))
    {
        m_made = mkfifo(m_path.constData(), 0600) == 0;
        if (!m_made)
            return;
        if (side == ProgramWrites) {
            // A reader that is always there and drains what arrives.
            m_reader = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
            m_thread = std::thread([this] {
                char buffer[4096];
                while (!m_stop) {
                    if (read(m_reader, buffer, sizeof buffer) > 0)
                        m_touched = true;
                    else
                        usleep(500);
                }
            });
        } else {
            // A writer appears whenever a reader waits, and goes at once:
            // the reader sees the end of the file.
            m_thread = std::thread([this] {
                while (!m_stop) {
                    const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) {
                        m_touched = true;
                        ::close(fd);
                    } else {
                        usleep(500);
                    }
                }
            });
        }
    }

    ~NamedPipe()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_reader >= 0)
            ::close(m_reader);
    }

    NamedPipe(const NamedPipe &) = delete;
    NamedPipe &operator=(const NamedPipe &) = delete;

    bool made() const { return m_made; }
    // The program opened the pipe to read it, or wrote into it.
    bool touched() const { return m_touched; }
    // The pipe is still in its place (not replaced by a regular file).
    bool inPlace() const
    {
        struct stat st;
        return stat(m_path.constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    }

private:
    QByteArray m_path;
    bool m_made = false;
    int m_reader = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_touched{false};
    std::thread m_thread;
};
