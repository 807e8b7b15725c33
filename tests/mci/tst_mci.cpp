// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes/RecordingMciDevice.h"
#include "mci/MciInterface.h"

#include <QTest>

#include <cstring>
#include <memory>

namespace {

MCIERROR openType(const char* type, quint32 flags, MCIDEVICEID& id)
{
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = type;
    const MCIERROR e = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | flags, &open);
    id = open.wDeviceID;
    return e;
}

} // namespace

class TestMci : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { Mci::reset(); }
    void cleanup() { Mci::reset(); }

    void tmsfPacksTrackInTheLowestByte()
    {
        constexpr quint32 tmsf = MCI_MAKE_TMSF(5, 1, 2, 3);
        QCOMPARE(tmsf, 0x03020105u);
        QCOMPARE(MCI_TMSF_TRACK(tmsf), quint8(5));
        QCOMPARE(MCI_TMSF_MINUTE(tmsf), quint8(1));
        QCOMPARE(MCI_TMSF_SECOND(tmsf), quint8(2));
        QCOMPARE(MCI_TMSF_FRAME(tmsf), quint8(3));
        QCOMPARE(MCI_MAKE_MSF(1, 2, 3), 0x030201u);
    }

    void opensGiveIdsFromOneAndRouteRequests()
    {
        RecordingMciDevice wave(QStringLiteral("waveaudio"));
        MCIDEVICEID first = 0, second = 0;
        QCOMPARE(openType("WaveAudio", 0, first), 0u);
        QCOMPARE(openType("waveaudio", 0, second), 0u);
        QCOMPARE(first, 1u);
        QCOMPARE(second, 2u);

        MCI_PLAY_PARMS play;
        play.dwFrom = 1000;
        QCOMPARE(mciSendCommandA(second, MCI_PLAY, MCI_FROM, &play), 0u);
        const auto last = wave.requests().last();
        QCOMPARE(last.deviceId, second);
        QCOMPARE(last.field("dwFrom"), 1000u);

        QCOMPARE(mciSendCommandA(first, MCI_CLOSE, 0, nullptr), 0u);
        QCOMPARE(Mci::openDevices(), QList<MCIDEVICEID>{second});
        MCI_GENERIC_PARMS generic;
        QCOMPARE(mciSendCommandA(first, MCI_STOP, 0, &generic), MCIERR_INVALID_DEVICE_ID);
        QCOMPARE(mciSendCommandA(0, MCI_STOP, 0, &generic), MCIERR_INVALID_DEVICE_ID);
        // Ids are not handed out twice.
        MCIDEVICEID third = 0;
        QCOMPARE(openType("waveaudio", 0, third), 0u);
        QCOMPARE(third, 3u);
    }

    void openFailuresLeaveNoDevice_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<quint32>("flags");
        QTest::addColumn<MCIERROR>("error");
        QTest::newRow("unknown type")
            << QByteArray("videodisc") << MCI_OPEN_TYPE << MCIERR_INVALID_DEVICE_NAME;
        QTest::newRow("no type flag") << QByteArray("waveaudio") << 0u << MCIERR_MISSING_DEVICE_NAME;
        QTest::newRow("empty type") << QByteArray("") << MCI_OPEN_TYPE << MCIERR_MISSING_DEVICE_NAME;
        QTest::newRow("notify") << QByteArray("waveaudio") << (MCI_OPEN_TYPE | MCI_NOTIFY)
                                << MCIERR_UNSUPPORTED_FUNCTION;
    }

    void openFailuresLeaveNoDevice()
    {
        QFETCH(QByteArray, type);
        QFETCH(quint32, flags);
        QFETCH(MCIERROR, error);
        RecordingMciDevice wave(QStringLiteral("waveaudio"));
        MCI_OPEN_PARMS open;
        open.lpstrDeviceType = type.constData();
        QCOMPARE(mciSendCommandA(0, MCI_OPEN, flags, &open), error);
        QCOMPARE(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, nullptr), MCIERR_NULL_PARAMETER_BLOCK);
        QVERIFY(Mci::openDevices().isEmpty());
    }

    void oneMediumNeedsShareableOnEveryOpen()
    {
        RecordingMciDevice cd(QStringLiteral("cdaudio"), Mci::Sharing::OneMedium);
        MCIDEVICEID a = 0, b = 0, c = 0;
        QCOMPARE(openType("cdaudio", MCI_OPEN_SHAREABLE, a), 0u);
        QCOMPARE(openType("cdaudio", 0, b), MCIERR_MUST_USE_SHAREABLE);
        QCOMPARE(openType("cdaudio", MCI_OPEN_SHAREABLE, c), 0u);
        mciSendCommandA(a, MCI_CLOSE, 0, nullptr);
        mciSendCommandA(c, MCI_CLOSE, 0, nullptr);
        QCOMPARE(openType("cdaudio", 0, b), 0u);
        QCOMPARE(openType("cdaudio", MCI_OPEN_SHAREABLE, c), MCIERR_MUST_USE_SHAREABLE);
    }

    void allDevicesIdReachesEveryOpenDevice()
    {
        RecordingMciDevice cd;
        RecordingMciDevice wave(QStringLiteral("waveaudio"));
        MCIDEVICEID a = 0, b = 0;
        openType("cdaudio", 0, a);
        openType("waveaudio", 0, b);
        wave.failNext(MCI_STOP, MCIERR_HARDWARE);

        MCI_GENERIC_PARMS generic;
        QCOMPARE(mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_STOP, 0, &generic), MCIERR_HARDWARE);
        QCOMPARE(cd.requestsOf(MCI_STOP).size(), 1);
        QCOMPARE(wave.requestsOf(MCI_STOP).size(), 1);

        MCI_STATUS_PARMS status;
        status.dwItem = MCI_STATUS_MODE;
        QCOMPARE(mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_STATUS, MCI_STATUS_ITEM, &status),
                 MCIERR_CANNOT_USE_ALL);
        MCI_PLAY_PARMS play;
        QCOMPARE(mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_PLAY, 0, &play), MCIERR_CANNOT_USE_ALL);
        QVERIFY(cd.requestsOf(MCI_PLAY).isEmpty());

        QCOMPARE(mciSendCommandA(MCI_ALL_DEVICE_ID, MCI_CLOSE, 0, nullptr), 0u);
        QVERIFY(Mci::openDevices().isEmpty());
    }

    void aDeviceThatRefusesComplainsOrThrowsIsAnsweredFor()
    {
        // Refusing the open: dropped, and the next open works.
        RecordingMciDevice cd;
        cd.failNext(MCI_OPEN, MCIERR_CD_NO_DRIVE);
        MCIDEVICEID id = 99;
        QCOMPARE(openType("cdaudio", 0, id), MCIERR_CD_NO_DRIVE);
        QCOMPARE(id, 0u);
        QVERIFY(Mci::openDevices().isEmpty());
        QCOMPARE(openType("cdaudio", 0, id), 0u);
        QCOMPARE(id, 1u);

        // Complaining about the close: dropped all the same.
        cd.failNext(MCI_CLOSE, MCIERR_HARDWARE);
        QCOMPARE(mciSendCommandA(id, MCI_CLOSE, 0, nullptr), MCIERR_HARDWARE);
        QVERIFY(Mci::openDevices().isEmpty());

        // Throwing: answered with a code.
        openType("cdaudio", 0, id);
        cd.handler = [](const RecordingMciDevice::Request&, void*) -> std::optional<MCIERROR> {
            throw std::runtime_error("inside");
        };
        MCI_GENERIC_PARMS generic;
        QCOMPARE(mciSendCommandA(id, MCI_PAUSE, 0, &generic), MCIERR_INTERNAL);
    }

    void errorTextsAreCutAndTerminated()
    {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        QVERIFY(mciGetErrorStringA(MCIERR_CD_NO_DISC, buffer, sizeof buffer));
        QCOMPARE(QString::fromUtf8(buffer), QStringLiteral("The CD drive holds no disc"));

        char small[8];
        QVERIFY(mciGetErrorStringA(MCIERR_CD_NO_DISC, small, sizeof small));
        QCOMPARE(QByteArray(small), QByteArray("The CD "));

        QVERIFY(!mciGetErrorStringA(MCIERR_CUSTOM_DRIVER_BASE + 1, buffer, sizeof buffer));
        QVERIFY(QByteArray(buffer).startsWith("The device reported an unknown error"));
        Mci::registerErrorText(MCIERR_CUSTOM_DRIVER_BASE + 1, QStringLiteral("The wave is too long"));
        QVERIFY(mciGetErrorStringA(MCIERR_CUSTOM_DRIVER_BASE + 1, buffer, sizeof buffer));
        QCOMPARE(QByteArray(buffer), QByteArray("The wave is too long"));
        QVERIFY(!mciGetErrorStringA(MCIERR_CD_NO_DISC, nullptr, 10));
    }

    void resetForgetsDevicesTypesAndIds()
    {
        {
            RecordingMciDevice cd;
            MCIDEVICEID id = 0;
            openType("cdaudio", 0, id);
            openType("cdaudio", 0, id);
            QCOMPARE(id, 2u);
            Mci::reset();
            QVERIFY(Mci::openDevices().isEmpty());
            QCOMPARE(openType("cdaudio", 0, id), MCIERR_INVALID_DEVICE_NAME);
        }
        RecordingMciDevice cd;
        MCIDEVICEID id = 0;
        QCOMPARE(openType("cdaudio", 0, id), 0u);
        QCOMPARE(id, 1u);
    }
};

QTEST_GUILESS_MAIN(TestMci)
#include "tst_mci.moc"
