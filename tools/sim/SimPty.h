#pragma once
// The simulated instrument on a pseudo-terminal (Linux): clients open
// slavePath() as a serial port (e.g. 38400 8N1). The pty keeps a slave
// descriptor of its own, so a client may close and reopen the port at will.
// A drop requested by the instrument closes the pty (like pulling the cable);
// an outage closes it and opens a new one a while later (see outage()).
//
// Every pty has a new slave path. With a link path set, a symbolic link there
// points to the current slave while the pty is open and is gone while it is
// closed, like the device node of a USB adapter that is pulled and plugged in.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace qmsim {

class SimInstrument;

class SimPty : public QObject {
    Q_OBJECT
public:
    // The instrument is not owned; it must outlive the pty.
    explicit SimPty(SimInstrument* instrument, QObject* parent = nullptr);
    ~SimPty() override;

    // Creates the pseudo-terminal (closing the one open before) and, with a
    // link path, points the link at it. False (see errorString()) on failure.
    bool open();
    // Closes the pty: a client's descriptor of it fails from now on (EIO,
    // hang-up). Removes the link. Cancels a reopen planned by outage().
    void close();
    // The old device goes, a new one comes (the link follows it).
    bool reopen() { return open(); }
    // Closes once the client has read what was written (at most a second
    // later; what it sends meanwhile is lost) and reopens `ms` after closing.
    void outage(int ms);
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    // A symbolic link kept pointing at the open slave; empty for none. Set
    // while open, the link is made at once (false on failure, see
    // errorString()). An existing symbolic link there is replaced; any other
    // file makes it fail.
    bool setLinkPath(const QString& path);
    QString linkPath() const { return m_linkPath; }

signals:
    void opened();
    void closed();

private:
    void onReadable();
    void onOutput(const QByteArray& bytes);
    void flush();
    void onDrainTimer();
    bool fail(const QString& what);
    bool makeLink();
    void removeLink();

    SimInstrument* m_instrument;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
    bool m_linkMade = false;
    QString m_error;
    QTimer m_reopenTimer;
    QTimer m_drainTimer;            // outage: waits for the client to read
    QElapsedTimer m_drainClock;
    int m_outageMs = 0;
    QByteArray m_out;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
};

}  // namespace qmsim
