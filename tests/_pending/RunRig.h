#pragma once
// A main window wired to the simulated instrument on loopback TCP, with
// scripted answers to its questions and a record of its status texts.
#include "app/MainForm.h"
#include "common/StatusBar.h"
#include "common/VbCheckBox.h"
#include "support/SimLink.h"

#include <QHostAddress>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QLabel>
#include <functional>
#include <memory>

struct RunRig {
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server{&sim};
    ScriptedPrompter ask;
    QTemporaryDir dir;
    QStringList statuses;
    std::unique_ptr<MainForm> f;

    explicit RunRig(bool listen = true) {
        if (listen) server.listen(QHostAddress::LocalHost, 0);
        AppOptions o;
        o.dataDir = dir.path();
        o.quitOnUnload = false;
        o.tcpPort = listen ? server.port() : 1;
        f = std::make_unique<MainForm>(o);
        f->SetPrompter(&ask);
        f->StatusBar1->onStatus = [this](const QString& t) { statuses << t; };
        f->IFCheck->SetValue(0);
        f->IPAdressText->setText(QStringLiteral("127.0.0.1"));
        f->LoopInterval->setText(QStringLiteral("0"));
        f->ManualCheck->SetValue(0);
        f->DSScreenDispCheck->SetValue(0);
        f->TRound->setText(QStringLiteral("2"));
        f->FFolder->setText(dir.path());
        sim.config().triggerPolls = 1;  // the second poll after arming sees the trigger
    }
    // Runs `act` once, as soon as `cond` holds while the run goes on.
    void When(std::function<bool()> cond, std::function<void()> act) {
        auto* t = new QTimer(f.get());
        t->setInterval(5);
        QObject::connect(t, &QTimer::timeout, t, [t, cond = std::move(cond), act = std::move(act)] {
            if (!cond()) return;
            t->stop();
            t->deleteLater();
            act();
        });
        t->start();
    }
    // The commands of the run after the configuration snapshot.
    QStringList RunCommands() const { return From(sim.received(), QStringLiteral("*ESE 255")); }
};
