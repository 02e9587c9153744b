#pragma once
// The simulated instrument on a pseudo-terminal (Linux): clients open
// slavePath() as a serial port (e.g. 38400 8N1). The pty keeps a slave
// descriptor of its own, so a client may close and reopen the port at will.
// A drop requested by the instrument closes the pty (like pulling the cable).
#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace qmsim {

class SimInstrument;

class SimPty : public QObject {
    Q_OBJECT
public:
    // The instrument is not owned; it must outlive the pty.
    explicit SimPty(SimInstrument* instrument, QObject* parent = nullptr);
    ~SimPty() override;

    // Creates the pseudo-terminal. False (see errorString()) on failure.
    bool open();
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

signals:
    void closed();

private:
    void onReadable();
    void onOutput(const QByteArray& bytes);
    void flush();
    bool fail(const QString& what);

    SimInstrument* m_instrument;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
    QByteArray m_out;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
};

}  // namespace qmsim
