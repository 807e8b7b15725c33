// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/HotCache.h"
#include "audio/StreamingSource.h"
#include "fakes/MediaFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

std::shared_ptr<HotHead> headOf(const QString& path, std::size_t frames)
{
    auto head = std::make_shared<HotHead>();
    head->pcm.assign(frames * 2, 7);
    head->stamp = FileStamp::of(path);
    return head;
}

} // namespace

class TestHotCache : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString file(int i) const
    {
        const QString path = m_dir.filePath(QStringLiteral("song%1.wav").arg(i));
        if (!QFile::exists(path))
            MediaFiles::writeBytes(path, QByteArray(100, 'x'));
        return path;
    }

private Q_SLOTS:
    void shouldStayWithinBudgetDroppingLeastRecentlyUsed()
    {
        const std::size_t one = headOf(file(0), 1000)->bytes();
        HotCache cache(3 * one + one / 2);
        for (int i = 0; i < 3; ++i)
            QVERIFY(cache.insert(file(i), headOf(file(i), 1000)));
        QVERIFY(cache.find(file(0))); // song 0 used again: song 1 is now the oldest
        QVERIFY(cache.insert(file(3), headOf(file(3), 1000)));
        QCOMPARE(cache.count(), std::size_t{3});
        QVERIFY(cache.bytes() <= cache.budget());
        QVERIFY(!cache.find(file(1)));
        QVERIFY(cache.find(file(0)) && cache.find(file(2)) && cache.find(file(3)));

        QVERIFY(!cache.insert(file(4), headOf(file(4), 4000))); // larger than the whole budget
        QCOMPARE(cache.count(), std::size_t{3});
    }

    void shouldKeepOneHeadASongAndForgetItWhenItsFileChanges()
    {
        {
            HotCache cache(1 << 20);
            cache.insert(file(0), headOf(file(0), 1000));
            cache.insert(file(0), headOf(file(0), 2000)); // replaces the first
            QCOMPARE(cache.count(), std::size_t{1});
            QCOMPARE(cache.find(file(0))->frames(), std::size_t{2000});
            QCOMPARE(cache.bytes(), headOf(file(0), 2000)->bytes());
        }
        HotCache cache(1 << 20);
        const QString path = file(10);
        cache.insert(path, headOf(path, 1000));
        MediaFiles::writeBytes(path, QByteArray(200, 'y'));
        QVERIFY(!cache.find(path));
        QCOMPARE(cache.bytes(), std::size_t{0});
        cache.insert(path, headOf(path, 1000));
        QFile::remove(path);
        QVERIFY(!cache.find(path));
    }

    void shouldTellWhetherAHeadFitsBesideTheOnesToKeep()
    {
        const std::size_t one = headOf(file(0), 1000)->bytes();
        HotCache cache(2 * one);
        cache.insert(file(0), headOf(file(0), 1000));
        cache.insert(file(1), headOf(file(1), 1000));
        QVERIFY(cache.fits(one, {file(0)}));           // song 1 may go
        QVERIFY(!cache.fits(one, {file(0), file(1)})); // both must stay
        QVERIFY(cache.fits(2 * one, {}));
        QVERIFY(!cache.fits(2 * one + 1, {}));
    }

    void shouldStreamHeadThenRingInOrderAcrossWraps()
    {
        const auto all = MediaFiles::ramp(30000);
        auto head = std::make_shared<const std::vector<std::int16_t>>(all.begin(), all.begin() + 2 * 1000);
        auto source = std::make_shared<StreamingSource>(head, 997); // odd size: every copy wraps somewhere

        std::thread writer([&] {
            std::size_t at = 1000;
            while (at < 30000) {
                const std::size_t n = std::min<std::size_t>(300, 30000 - at);
                const std::size_t pushed = source->push(all.data() + 2 * at, n);
                at += pushed;
                if (pushed == 0)
                    std::this_thread::yield();
            }
            source->finish();
        });
        std::vector<std::int16_t> got;
        std::vector<std::int16_t> buf(2 * 450);
        for (;;) {
            const std::size_t n = source->read(buf.data(), 450);
            got.insert(got.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(2 * n));
            if (n == 0 && source->exhausted())
                break;
        }
        writer.join();
        QVERIFY(got == all);
    }

    void aNudgeSkipsOrHoldsWithinTheStream()
    {
        const auto all = MediaFiles::ramp(3000);
        auto head = std::make_shared<const std::vector<std::int16_t>>(all.begin(), all.begin() + 2 * 1000);
        StreamingSource source(head, 4000);
        QCOMPARE(source.push(all.data() + 2 * 1000, 1500), std::size_t{1500}); // frames 1000-2499 ready
        const auto frameAt = [](const std::vector<std::int16_t>& buf, std::size_t k) {
            return static_cast<int>(buf[2 * k]) + 32768; // the ramp's frame number, or 32768 for silence
        };
        std::vector<std::int16_t> buf(2 * 100);
        QCOMPARE(source.read(buf.data(), 100), std::size_t{100});
        source.nudge(1500); // on from frame 100, across the head's end into the ring
        QCOMPARE(source.read(buf.data(), 100), std::size_t{100});
        QCOMPARE(frameAt(buf, 0), 1600);
        source.nudge(-30); // held back: silence first, then on where it was
        QCOMPARE(source.read(buf.data(), 100), std::size_t{100});
        QCOMPARE(frameAt(buf, 29), 32768);
        QCOMPARE(frameAt(buf, 30), 1700);
        source.nudge(1000); // further than is decoded yet: the rest waits for what comes
        QCOMPARE(source.read(buf.data(), 100), std::size_t{0});
        QVERIFY(!source.exhausted());
        QCOMPARE(source.push(all.data() + 2 * 2500, 500), std::size_t{500});
        QCOMPARE(source.read(buf.data(), 100), std::size_t{100});
        QCOMPARE(frameAt(buf, 0), 2770);
    }

    void shouldNotBeExhaustedWhileOnlyBehind()
    {
        StreamingSource source(nullptr, 100);
        std::vector<std::int16_t> buf(200);
        QCOMPARE(source.read(buf.data(), 100), std::size_t{0});
        QVERIFY(!source.exhausted());
        const std::vector<std::int16_t> some(2 * 150, 1);
        QCOMPARE(source.push(some.data(), 150), std::size_t{100}); // the ring holds 100
        source.finish();
        QVERIFY(!source.exhausted());
        QCOMPARE(source.read(buf.data(), 100), std::size_t{100});
        QVERIFY(source.exhausted());
    }
};

QTEST_GUILESS_MAIN(TestHotCache)
#include "tst_hotcache.moc"
