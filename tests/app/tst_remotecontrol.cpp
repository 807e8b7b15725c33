// SPDX-License-Identifier: GPL-3.0-or-later
// Options, "Remote Control...": the dialog, the settings under "Remote", and a port in use said in
// the status bar while the board runs on.
#include "app/QrCode.h"
#include "app/RemoteControl.h"
#include "app/StatusNews.h"
#include "app/frmRemoteControl.h"
#include "fakes/BoardFixture.h"
#include "fakes/OscClient.h"
#include "remote/OscServer.h"
#include "web/WebServer.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>

Q_DECLARE_METATYPE(RemoteSettings)

class TestRemoteControl : public QObject, BoardFixture {
    Q_OBJECT

    static QList<QHostAddress> noNetwork() { return {}; }

private Q_SLOTS:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void theDialogShowsAndReturnsTheSettings_data()
    {
        QTest::addColumn<RemoteSettings>("stored");
        QTest::addColumn<QString>("raw");
        QTest::newRow("missing: off, on this computer") << RemoteSettings{} << QString();
        QTest::newRow("on the network")
            << RemoteSettings{9123, true, QStringLiteral("stage left")} << QString();
        QTest::newRow("a port that is no number: off") << RemoteSettings{} << QStringLiteral("nine");
        QTest::newRow("web on the network, OSC off")
            << RemoteSettings{0, false, QStringLiteral("cue"), 8123, true} << QString();
    }

    void theDialogShowsAndReturnsTheSettings()
    {
        QFETCH(RemoteSettings, stored);
        QFETCH(QString, raw);
        stored.save(*m_registry);
        if (!raw.isEmpty()) {
            m_registry->OpenKey(QStringLiteral("\\Software\\Brasswold\\Remote"), true);
            m_registry->WriteString(QStringLiteral("OscPort"), raw);
            m_registry->CloseKey();
        }
        const RemoteSettings loaded = RemoteSettings::load(*m_registry);
        QCOMPARE(loaded, stored);
        TfrmRemoteControl dialog(nullptr, loaded, noNetwork);
        QCOMPARE(dialog.grpOsc->isChecked(), stored.oscPort != 0);
        QCOMPARE(dialog.spnOscPort->value(),
                 stored.oscPort ? stored.oscPort : RemoteSettings::DefaultOscPort);
        QCOMPARE(dialog.grpWeb->isChecked(), stored.webPort != 0);
        QCOMPARE(dialog.spnWebPort->value(),
                 stored.webPort ? stored.webPort : RemoteSettings::DefaultWebPort);
        QCOMPARE(dialog.settings(), stored);
    }

    void theLocalNetworkWaitsForAPasscode()
    {
        TfrmRemoteControl dialog(nullptr, RemoteSettings{}, noNetwork);
        dialog.grpOsc->setChecked(true);
        QVERIFY(dialog.BitBtn1->isEnabled());
        dialog.edtPasscode->setText(QStringLiteral("cue")); // short, but on this computer only
        QVERIFY(dialog.BitBtn1->isEnabled());
        dialog.rbOscNetwork->setChecked(true);
        QVERIFY(!dialog.BitBtn1->isEnabled());
        QVERIFY(dialog.lblProblem->text().contains(QLatin1String("at least 6 characters")));
        // Characters as the operator counts them: three notes are three, not six.
        dialog.edtPasscode->setText(QStringLiteral("\U0001F3B5\U0001F3B5\U0001F3B5"));
        QVERIFY(!dialog.BitBtn1->isEnabled());
        dialog.edtPasscode->setText(QStringLiteral("stage!"));
        QVERIFY(dialog.BitBtn1->isEnabled());
        QVERIFY(dialog.lblProblem->text().isEmpty());
        dialog.edtPasscode->clear();
        QCOMPARE(dialog.lblProblem->text(), QStringLiteral("The local network needs a passcode."));
        dialog.edtPasscode->setText(QStringLiteral("stage left"));
        QVERIFY(dialog.BitBtn1->isEnabled());
        QCOMPARE(dialog.settings(),
                 (RemoteSettings{RemoteSettings::DefaultOscPort, true, QStringLiteral("stage left")}));

        // The web remote on the network needs it as well, and shows where to point a phone.
        dialog.grpOsc->setChecked(false);
        dialog.edtPasscode->clear();
        dialog.grpWeb->setChecked(true);
        QVERIFY(dialog.BitBtn1->isEnabled());
        QCOMPARE(dialog.lblWebAddress->text(), QStringLiteral("http://127.0.0.1:8020/"));
        dialog.rbWebNetwork->setChecked(true);
        QVERIFY(!dialog.BitBtn1->isEnabled());
    }

    void theWebCodeIsOfTheFirstNetworkAddress_data()
    {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("why"); // empty: a code of the first line shown
        const QStringList two{QStringLiteral("192.168.1.23"), QStringLiteral("10.0.0.5")};
        QTest::newRow("this computer only")
            << false << two << QStringLiteral("http://127.0.0.1:8123/") << QStringLiteral("own address");
        QTest::newRow("the local network")
            << true << two << QStringLiteral("http://192.168.1.23:8123/\nhttp://10.0.0.5:8123/") << QString();
        QTest::newRow("the local network, no address")
            << true << QStringList() << QStringLiteral("http://127.0.0.1:8123/")
            << QStringLiteral("no network");
    }

    void theWebCodeIsOfTheFirstNetworkAddress()
    {
        QFETCH(bool, network);
        QFETCH(QStringList, found);
        QFETCH(QString, shown);
        QFETCH(QString, why);
        const auto lookup = [found] {
            QList<QHostAddress> out;
            for (const QString& a : found)
                out << QHostAddress(a);
            return out;
        };
        TfrmRemoteControl dialog(nullptr, RemoteSettings{0, false, QString(), 8123, network}, lookup);
        QCOMPARE(dialog.lblWebAddress->text(), shown);
        QCOMPARE(dialog.lblWebCode->isHidden(), !why.isEmpty());
        QCOMPARE(dialog.lblWebCodeNote->isHidden(), why.isEmpty());
        if (why.isEmpty())
            QCOMPARE(dialog.lblWebCode->pixmap().toImage(),
                     QPixmap::fromImage(QrCode::image(shown.section(QLatin1Char('\n'), 0, 0), 4)).toImage());
        else
            QVERIFY2(dialog.lblWebCodeNote->text().contains(why), qPrintable(dialog.lblWebCodeNote->text()));
    }

    void aWebPortInUseIsSaidInTheStatusBar()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost));
        RemoteSettings settings;
        settings.webPort = other.serverPort();
        settings.save(*m_registry);
        RemoteControl remote(m_form->core(), *m_registry);
        remote.setMenuItem(m_form->mnuRemoteControl, m_form.get());
        remote.start();
        QVERIFY(!remote.web().listening());
        QCOMPARE(m_form->NewsPanel->news(RemoteControl::WebNews),
                 QStringLiteral("Web remote is off: TCP port %1 is in use by another program.")
                     .arg(settings.webPort));
        QVERIFY(m_dialogs->messages.isEmpty());
        other.close();
        remote.apply(settings);
        QVERIFY(remote.web().listening());
        QVERIFY(m_form->NewsPanel->news(RemoteControl::WebNews).isEmpty());
    }

    void aPortInUseIsSaidOnceInTheStatusBarAndTheBoardRunsOn()
    {
        Board& board = m_form->core();
        // Another program holds the port.
        OscClient holder;
        OscServer other(board);
        quint16 port = 29300;
        while (port < 29400 && !other.listen({port, false, QString()}))
            ++port;
        QVERIFY(other.listening());
        RemoteSettings{port, false, QString()}.save(*m_registry);
        RemoteControl remote(m_form->core(), *m_registry);
        remote.setMenuItem(m_form->mnuRemoteControl, m_form.get());
        QVERIFY(m_form->mnuRemoteControl->isEnabled());
        remote.start();
        QVERIFY(!remote.osc().listening());
        QCOMPARE(
            m_form->NewsPanel->news(RemoteControl::News),
            QStringLiteral("Remote control is off: UDP port %1 is in use by another program.").arg(port));
        QVERIFY(m_dialogs->messages.isEmpty());
        QVERIFY(m_errors->messages.isEmpty());

        // Free again: the board listens, and the news is gone.
        other.stop();
        remote.apply({port, false, QString()});
        QVERIFY(remote.osc().listening());
        QVERIFY(m_form->NewsPanel->news(RemoteControl::News).isEmpty());
        QVERIFY(holder.send(OscPacket::message("/sonavex/sheet/1/button/2/press"), port));
        QTRY_COMPARE(m_player->fileName(), m_files[1]);
        QCOMPARE(remote.oscStatus(),
                 QStringLiteral(
                     "This run on port %1: commands run 1, dropped 0, wrong passcodes 0, subscribers 0.")
                     .arg(port));
    }
};

QTEST_MAIN(TestRemoteControl)
#include "tst_remotecontrol.moc"
