#pragma once
// Test fixtures: the simulated instrument on loopback TCP or a pty, and a
// link connected to it; a prompter with scripted answers.
#include "common/Prompt.h"
#include "link/CommPort.h"
#include "link/CommandLink.h"
#include "link/SockControl.h"
#include "sim/SimInstrument.h"
#include "sim/SimPty.h"
#include "sim/SimTcpServer.h"

#include <QStringList>
#include <deque>
#include <memory>

struct SimTcpLink {
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server{&sim};
    CommPort port;
    SockControl sock;
    int16_t CommMode = 1;
    Link link{CommMode, port, sock};
    // Starts the server and connects; false on failure.
    bool start();
    QString portText() const { return QString::number(server.port()); }
};

struct SimPtyLink {
    qmsim::SimInstrument sim;
    qmsim::SimPty pty{&sim};
    CommPort port;
    SockControl sock;
    int16_t CommMode = 0;
    Link link{CommMode, port, sock};
    // Opens the pty, maps COM<n> to it and opens the port; false on failure.
    bool start(int comNumber = 7);
};

class ScriptedPrompter : public Prompter {
public:
    std::deque<bool> answers;  // answers to questions; empty: OK
    QStringList questions;
    QStringList failures;
    bool AskOkCancel(const QString& text, const QString& title) override;
    void ShowFailure(const QString& text, const QString& title) override;
};

// The commands the instrument received from the first occurrence of `from` on.
QStringList From(const QStringList& all, const QString& from);
