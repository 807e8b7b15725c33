// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmButtonSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ButtonSettings)

namespace {

const QList<OutputDevices::Device> Outputs = {{QStringLiteral("alsa.desk"), QStringLiteral("Desk"), 2},
                                              {QStringLiteral("alsa.rack"), QStringLiteral("Rack"), 6}};

ButtonSettings routed(const QString& output, int first, int count, double duck = 0, bool layer = true)
{
    ButtonSettings s;
    s.layer = layer;
    s.output = output;
    s.firstChannel = first;
    s.channelCount = count;
    s.duckDb = duck;
    return s;
}

QStringList items(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace

class TestButtonSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensWithTheStoredRouteAndGivesItBack_data()
    {
        QTest::addColumn<ButtonSettings>("stored");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("channels");     ///< empty: nothing to choose
        QTest::addColumn<ButtonSettings>("given"); ///< on OK without a change

        QTest::newRow("default") << ButtonSettings{} << "The show's output" << QString() << ButtonSettings{};
        QTest::newRow("preview") << routed(u"preview"_s, 0, 2) << "Preview output" << QString()
                                 << routed(u"preview"_s, 0, 2);
        QTest::newRow("stereo device")
            << routed(u"alsa.desk"_s, 0, 2, 12) << "Desk" << QString() << routed(u"alsa.desk"_s, 0, 2, 12);
        QTest::newRow("a pair") << routed(u"alsa.rack"_s, 5, 2) << "Rack"
                                << "Channels 5-6" << routed(u"alsa.rack"_s, 5, 2);
        QTest::newRow("one channel") << routed(u"alsa.rack"_s, 3, 1, 30) << "Rack"
                                     << "Channel 3" << routed(u"alsa.rack"_s, 3, 1, 30);
        QTest::newRow("first pair is its stereo") << routed(u"alsa.rack"_s, 1, 2) << "Rack"
                                                  << "Channels 1-2" << routed(u"alsa.rack"_s, 0, 2);
        QTest::newRow("unplugged") << routed(u"usb.stage"_s, 7, 2) << "usb.stage (missing)"
                                   << "Channels 7-8" << routed(u"usb.stage"_s, 7, 2);
    }

    void opensWithTheStoredRouteAndGivesItBack()
    {
        QFETCH(ButtonSettings, stored);
        QFETCH(QString, output);
        QFETCH(QString, channels);
        QFETCH(ButtonSettings, given);
        TfrmButtonSettings dialog(nullptr, u"Song"_s, stored, Outputs);
        QCOMPARE(dialog.cbLayer->isChecked(), stored.layer);
        QCOMPARE(dialog.cboOutput->currentText(), output);
        QCOMPARE(dialog.cboChannels->isEnabled(), !channels.isEmpty());
        if (!channels.isEmpty())
            QCOMPARE(dialog.cboChannels->currentText(), channels);
        QCOMPARE(dialog.settings(), given);
    }

    void aDeviceOfSixChannelsOffersItsPairsThenEachChannel()
    {
        TfrmButtonSettings dialog(nullptr, u"Song"_s, ButtonSettings{}, Outputs);
        QCOMPARE(items(dialog.cboOutput),
                 (QStringList{u"The show's output"_s, u"Preview output"_s, u"Desk"_s, u"Rack"_s}));
        dialog.cboOutput->setCurrentIndex(3);
        QVERIFY(dialog.cboChannels->isEnabled());
        QCOMPARE(
            items(dialog.cboChannels),
            (QStringList{u"Channels 1-2"_s, u"Channels 3-4"_s, u"Channels 5-6"_s, u"Channel 1"_s,
                         u"Channel 2"_s, u"Channel 3"_s, u"Channel 4"_s, u"Channel 5"_s, u"Channel 6"_s}));
        dialog.cboChannels->setCurrentIndex(4); // "Channel 2"
        dialog.cbLayer->setChecked(true);
        QCOMPARE(dialog.settings(), routed(u"alsa.rack"_s, 2, 1));
        dialog.edDuck->setValue(12);
        if (const QString docs = qEnvironmentVariable("SONAVEX_DOCS_SHOTS"); !docs.isEmpty()) {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QVERIFY(dialog.grab().save(docs + u"/button-settings-layers.png"_s));
        }
        dialog.edDuck->setValue(0);
        // Back to a stereo output: its channels are its own again.
        dialog.cboOutput->setCurrentIndex(2);
        QVERIFY(!dialog.cboChannels->isEnabled());
        QCOMPARE(dialog.settings(), routed(u"alsa.desk"_s, 0, 2));
    }

    void theDipSkipsOneAndTwoDecibels_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("to");
        QTest::newRow("off up") << 0 << 1 << 3;
        QTest::newRow("3 down") << 3 << -1 << 0;
        QTest::newRow("4 down two") << 4 << -2 << 0;
        QTest::newRow("3 up") << 3 << 1 << 4;
        QTest::newRow("top") << 30 << 1 << 30;
    }

    void theDipSkipsOneAndTwoDecibels()
    {
        QFETCH(int, from);
        QFETCH(int, steps);
        QFETCH(int, to);
        TfrmButtonSettings dialog(nullptr, u"Song"_s, ButtonSettings{});
        dialog.edDuck->setValue(from);
        dialog.edDuck->stepBy(steps);
        QCOMPARE(dialog.edDuck->value(), to);
        QCOMPARE(dialog.settings().duckDb, double(to));
    }

    void aTypedOneOrTwoBecomesThree()
    {
        TfrmButtonSettings dialog(nullptr, u"Song"_s, ButtonSettings{});
        QCOMPARE(dialog.edDuck->text(), u"Off"_s);
        QLineEdit* edit = dialog.edDuck->findChild<QLineEdit*>();
        edit->selectAll();
        QTest::keyClicks(edit, u"2"_s);
        dialog.edDuck->interpretText();
        QCOMPARE(dialog.edDuck->value(), 3);
        edit->selectAll();
        QTest::keyClicks(edit, u"25"_s);
        dialog.edDuck->interpretText();
        QCOMPARE(dialog.edDuck->value(), 25);
    }
};

QTEST_MAIN(TestButtonSettings)
#include "tst_frmbuttonsettings.moc"
