// Writes that fail part-way: a full disk (a small tmpfs of the test's own) and
// FIFOs as targets. Every writer must keep the earlier file, leave no
// temporary file behind, say so, and never block.
#include "app/appwindow.h"
#include "app/settingsfiles.h"
#include "common/viewersettings.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {
const QByteArray kEarlier = "earlier content\n";

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

bool isFifo(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
}
} // namespace

class SafeWriteTest : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QString disk; // mount point of the small file system, empty when not mounted

    // Fills the small disk to the last byte.
    void fillDisk()
    {
        QFile filler(disk + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    QStringList entries() const { return QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    // The real binary as an unattended batch run (no display: headless mode).
    int runBatch(const QStringList &arguments, QByteArray *errors)
    {
        QProcess kelvo;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(name);
        kelvo.setProcessEnvironment(environment);
        kelvo.start(qEnvironmentVariable("KELVO_BINARY"), arguments);
        if (!kelvo.waitForFinished(30000)) {
            kelvo.kill();
            kelvo.waitForFinished();
            return -1; // blocked
        }
        *errors = kelvo.readAllStandardError();
        return kelvo.exitCode();
    }

private Q_SLOTS:
    void init()
    {
        disk = scratch.path() + "/disk";
        QDir().mkpath(disk);
        QProcess mount;
        mount.start("mount", {"-t", "tmpfs", "-o", "size=96k", "tmpfs", disk});
        if (!mount.waitForFinished() || mount.exitCode() != 0) {
            disk.clear();
            QSKIP("cannot mount a small tmpfs here (needs root in a system that allows mounts)");
        }
    }
    void cleanup()
    {
        if (!disk.isEmpty())
            QProcess::execute("umount", {disk});
    }

    void batchExportsOntoAFullDiskOrAFifoFailAndKeepTheEarlierFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("fifo");
        QTest::newRow("EPS, full disk") << "-c=2" << ".eps" << false;
        QTest::newRow("JPEG, full disk") << "-c=1" << ".jpg" << false;
        QTest::newRow("EPS onto a FIFO") << "-c=2" << ".eps" << true;
        QTest::newRow("JPEG onto a FIFO") << "-c=1" << ".jpg" << true;
    }
    void batchExportsOntoAFullDiskOrAFifoFailAndKeepTheEarlierFile()
    {
        QFETCH(QString, command);
        QFETCH(QString, extension);
        QFETCH(bool, fifo);
        const QString document = scratch.path() + "/plot.pvg";
        QFile::remove(document);
        QVERIFY(QFile::copy(qEnvironmentVariable("KELVO_SOURCE_DIR") + "/examples/demo.pvg", document));
        const QString target = disk + "/out" + extension;
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0644), 0);
        else
            writeFile(target, kEarlier);
        fillDisk();
        const QStringList before = entries();

        QByteArray errors;
        QCOMPARE(runBatch({command, "-q", "-cwd=" + disk, "-cf=out", document}, &errors), 1);
        QVERIFY2(errors.contains(("Export failed for file: " + target).toLocal8Bit()), errors.constData());
        QCOMPARE(entries(), before);
        QVERIFY(fifo ? isFifo(target) : contents(target) == kEarlier);
    }

    void saveAsOntoTheLoadedFileOnAFullDiskKeepsIt()
    {
        InProcessViewer viewer;
        const QString document = disk + "/plot.pvg";
        QVERIFY(QFile::copy(qEnvironmentVariable("KELVO_SOURCE_DIR") + "/examples/demo.pvg", document));
        const QByteArray original = contents(document);
        const QString fifo = disk + "/pipe.pvg";
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        viewer.open(document);
        fillDisk();
        const QStringList before = entries();
        {
            ModalAnswerer answerer({document, fifo});
            QVERIFY(QMetaObject::invokeMethod(viewer.window.data(), "saveAs"));
            QVERIFY(QMetaObject::invokeMethod(viewer.window.data(), "saveAs"));
            QCOMPARE(answerer.titlesAndTexts(),
                     QStringList({"Save as: ", "Error: Error writing " + document,
                                  "Save as: ", "Error: Error opening " + fifo}));
        }
        QCOMPARE(contents(document), original);
        QCOMPARE(entries(), before);
        QVERIFY(isFifo(fifo));
    }

    void theStateFileOnAFullDiskKeepsTheLastGoodSettings()
    {
        InProcessViewer::resetProcessState(disk);
        QCOMPARE(writeStateFile(), 0);
        const QByteArray good = contents(disk + "/.kelvosettings");
        QCOMPARE(good.size(), kStateFileSize);
        fillDisk();
        const QStringList before = entries();
        ViewerSettings.whiteBackground = !ViewerSettings.whiteBackground;
        QCOMPARE(writeStateFile(), -1);
        QCOMPARE(contents(disk + "/.kelvosettings"), good);
        QCOMPARE(entries(), before);
    }
};

QTEST_MAIN(SafeWriteTest)
#include "safewrite_test.moc"
