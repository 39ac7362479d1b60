// Writes that fail part-way: a full disk (a small tmpfs of the test's own) and
// FIFOs as targets. Every writer must keep the earlier file, leave no
// temporary file behind, say so, and never block. Files that a new file
// cannot replace are rewritten in place instead, and only when there is room.
#include "app/appwindow.h"
#include "app/settingsfiles.h"
#include "common/optionstate.h"
#include "common/safewrite.h"
#include "common/unfinishedwrites.h"
#include "tests/support/inprocessviewer.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/testfiles.h"

#include <QTest>
#include <QtEndian>

#include <csignal>
#include <fcntl.h>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

class SafeWriteTest : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QString disk = scratch.filePath("disk"); // the small file system's mount point
    QString demo = scratch.filePath("demo.pvg"); // a copy: a fault may export beside the document

    // Fills the disk (what is left of it, when called again); returns what is on it.
    QStringList fillDisk() const
    {
        QFile filler(disk + "/filler");
        filler.open(QIODevice::Append);
        while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
        }
        return QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // Still there, and not replaced by a regular file.
    static bool isFifo(const QString &path) { return QFileInfo::exists(path) && !QFileInfo(path).isFile(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(QFile::copy(qEnvironmentVariable("KELVO_SOURCE_DIR") + "/examples/demo.pvg", demo)); }
    void init()
    {
        QDir().mkpath(disk);
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=96k", "tmpfs", disk}) != 0)
            QSKIP("cannot mount a small tmpfs here (needs root in a system that allows mounts)");
    }
    void cleanup() { QProcess::execute("umount", {disk}); }

    void batchExportsOntoAFullDiskOrAFifoFailAndKeepTheEarlierFile_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("fifo");
        QTest::addColumn<bool>("limited"); // by the file-size limit (2 KiB), on a disk with room
        QTest::newRow("EPS, full disk") << "-c=2" << false << false;
        QTest::newRow("JPEG, full disk") << "-c=1" << false << false;
        QTest::newRow("EPS onto a FIFO") << "-c=2" << true << false; // the JPEG writer opens its target the same way
        QTest::newRow("EPS beyond the file-size limit") << "-c=2" << false << true;
    }
    // The real binary as an unattended batch run: no display, so headless.
    void batchExportsOntoAFullDiskOrAFifoFailAndKeepTheEarlierFile()
    {
        QFETCH(QString, command);
        QFETCH(bool, fifo);
        QFETCH(bool, limited);
        const QString target = disk + (command == "-c=2" ? "/out.eps" : "/out.jpg");
        QVERIFY(fifo ? ::mkfifo(QFile::encodeName(target).constData(), 0644) == 0 : writeFile(target, "earlier content\n"));
        const auto entries = [this] { return QDir(disk).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); };
        const QStringList before = limited ? entries() : fillDisk();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(name);
        QStringList arguments{command, "-q", "-cwd=" + disk, "-cf=out", demo};
        if (limited)
            arguments = QStringList{"-c", "ulimit -f 2 && exec \"$0\" \"$@\"", qEnvironmentVariable("KELVO_BINARY")} + arguments;
        const BinaryRun run = runBinary(arguments, {}, environment, limited ? "bash" : qEnvironmentVariable("KELVO_BINARY"), 30000);
        QVERIFY2(run.ended, "blocked");
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains(("Export failed for file: " + target).toLocal8Bit()));
        QCOMPARE(limited ? entries() : fillDisk(), before);
        QVERIFY(fifo ? isFifo(target) : readWholeFile(target) == "earlier content\n");
    }

    // Save As through a link; onto the loaded file on a full disk, then onto a FIFO; a state file on the full disk.
    void inTheViewerEveryWriterKeepsTheEarlierFile()
    {
        InProcessViewer viewer;
        const QString document = disk + "/plot.pvg", fifo = disk + "/pipe.pvg";
        QVERIFY(QFile::copy(demo, document));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        viewer.open(document);
        homeDir = disk.toLocal8Bit().toStdString(); // where the state file goes
        // While there is room: a replaced file keeps its mode, a link is written through to the file it names.
        const QByteArray named = QFile::encodeName(disk + "/named.pvg");
        QVERIFY(writeFile(named, "old") && ::chmod(named, 0604) == 0 && QFile::link(named, disk + "/link.pvg"));
        ModalAnswerer answerer({disk + "/link.pvg", document, fifo});
        QVERIFY(QMetaObject::invokeMethod(viewer.window.data(), "saveAs"));
        // 0604: the owner's and others' bits (the current user's mirror the owner's).
        QVERIFY(QFile::permissions(named) == (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadOther)
                && QFileInfo(disk + "/link.pvg").isSymLink());
        QCOMPARE(readWholeFile(named), readWholeFile(demo));
        const QStringList before = fillDisk();
        QVERIFY(QMetaObject::invokeMethod(viewer.window.data(), "saveAs"));
        QVERIFY(QMetaObject::invokeMethod(viewer.window.data(), "saveAs"));
        QCOMPARE(answerer.titlesAndTexts(), QStringList({"Save as: ", "Save as: ", "Error: Error writing " + document,
                                                         "Save as: ", "Error: Error opening " + fifo}));
        QCOMPARE(writeStateFile(), -1);
        QCOMPARE(readWholeFile(document), readWholeFile(demo));
        QCOMPARE(fillDisk(), before);
        QVERIFY(isFifo(fifo));
    }

    // A file with a second name: both names show the new content, on a full
    // disk neither loses the old, be the new one longer or as long as an old
    // one with holes (whose blocks the disk does not have yet).
    void aFileWithOtherNamesIsRewrittenUnderThemAll()
    {
        const QByteArray first = QFile::encodeName(disk + "/first.eps"), second = QFile::encodeName(disk + "/second.eps");
        QVERIFY(writeFile(first, "earlier") && ::link(first, second) == 0);
        QCOMPARE(writeFileSafely(first, "new", 3), WriteOutcome::Written);
        QCOMPARE(readWholeFile(first) + readWholeFile(second), QByteArray("newnew"));
        // A hole, and blocks kept past the end, so that their count does not tell of it.
        QVERIFY(::truncate(first, 65536) == 0);
        const int kept = ::open(first, O_WRONLY);
        QVERIFY(::fallocate(kept, FALLOC_FL_KEEP_SIZE, 65536, 65536) == 0 && ::close(kept) == 0);
        fillDisk();
        for (const std::size_t size : {60000, 200000})
            QCOMPARE(writeFileSafely(first, std::string(size, 'y').c_str(), size), WriteOutcome::WriteFailed);
        QCOMPARE(readWholeFile(second), QByteArray("new").leftJustified(65536, '\0'));
    }

    // As another user (the test runs as root to become one): that user's file
    // in a directory only root may write, root's writable file in a sticky
    // directory, and one in a directory anyone may write, where a new file
    // could replace it but would change hands. Each keeps its owner and loses
    // the rest of its longer earlier content; a new file in the closed
    // directory is refused; a full disk leaves the earlier content.
    void filesANewFileCannotReplaceAreRewrittenInPlace()
    {
        auto name = [this](const char *file) { return QFile::encodeName(disk + file); };
        if (::geteuid() != 0)
            QSKIP("becoming another user needs root");
        const uid_t nobody = 65534;
        QVERIFY(::chmod(QFile::encodeName(scratch.path()), 0755) == 0 && ::chmod(name(""), 0755) == 0
                && QDir().mkpath(disk + "/sticky") && ::chmod(name("/sticky"), 01777) == 0
                && QDir().mkpath(disk + "/open") && ::chmod(name("/open"), 0777) == 0);
        QVERIFY(writeFile(name("/theirs.eps"), "their earlier content") && ::chown(name("/theirs.eps"), nobody, nobody) == 0);
        for (const char *roots : {"/sticky/roots.eps", "/open/roots.eps"})
            QVERIFY(writeFile(name(roots), "root's earlier content") && ::chmod(name(roots), 0666) == 0);
        QVERIFY(::setegid(nobody) == 0 && ::seteuid(nobody) == 0);
        const WriteOutcome theirs = writeFileSafely(name("/theirs.eps"), "new", 3);
        const WriteOutcome roots = writeFileSafely(name("/sticky/roots.eps"), "new", 3);
        const WriteOutcome open = writeFileSafely(name("/open/roots.eps"), "new", 3);
        const WriteOutcome fresh = writeFileSafely(name("/fresh.eps"), "new", 3);
        QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
        QCOMPARE(theirs, WriteOutcome::Written);
        QCOMPARE(roots, WriteOutcome::Written);
        QCOMPARE(open, WriteOutcome::Written);
        QCOMPARE(fresh, WriteOutcome::NotOpened);
        QCOMPARE(readWholeFile(name("/theirs.eps")) + readWholeFile(name("/sticky/roots.eps")) + readWholeFile(name("/open/roots.eps")),
                 QByteArray("newnewnew"));
        QCOMPARE(QFileInfo(disk + "/theirs.eps").ownerId() + QFileInfo(disk + "/sticky/roots.eps").ownerId()
                     + QFileInfo(disk + "/open/roots.eps").ownerId(), nobody);
        const auto entries = [](const QString &directory) {
            return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        QCOMPARE(entries(disk) + entries(disk + "/sticky") + entries(disk + "/open"),
                 QStringList({"open", "sticky", "theirs.eps", "roots.eps", "roots.eps"}));

        // On the full disk, a longer content streamed as the EPS export streams
        // fails before the earlier one is touched.
        const QStringList before = fillDisk();
        QVERIFY(::setegid(nobody) == 0 && ::seteuid(nobody) == 0);
        SafeFileWrite longer;
        const bool streamed = longer.open(name("/theirs.eps")) == WriteOutcome::Written
                              && std::fputs(std::string(200000, 'y').c_str(), longer.stream()) >= 0;
        const WriteOutcome full = longer.commit();
        QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
        QVERIFY(streamed);
        QCOMPARE(full, WriteOutcome::WriteFailed);
        QCOMPARE(readWholeFile(name("/theirs.eps")), QByteArray("new"));
        QCOMPARE(fillDisk(), before);
    }

    // A process ended by a signal while it writes leaves the earlier file and
    // no temporary file (the writing child ends itself half way): a stop, a
    // hang-up, a closed pipe, a spent CPU limit, an abort.
    void aWriteEndedByASignalLeavesNoTemporaryFile()
    {
        const QString directory = scratch.filePath("ended");
        const QByteArray target = QFile::encodeName(directory + "/out.eps");
        QVERIFY(writeFile(target, "earlier"));
        for (const int ending : {SIGTERM, SIGHUP, SIGPIPE, SIGXCPU, SIGABRT}) {
            const pid_t child = ::fork();
            if (child == 0) {
                ::signal(ending, SIG_DFL); // as kelvo starts, not with the test library's handler
                const rlimit noCore{0, 0};
                ::setrlimit(RLIMIT_CORE, &noCore);
                prepareSafeWrites();
                SafeFileWrite file;
                if (file.open(target) == WriteOutcome::Written && file.write("new", 3))
                    ::raise(ending);
                ::_exit(3);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == ending);
            QCOMPARE(QDir(directory).entryList(QDir::Files | QDir::Hidden), QStringList{"out.eps"});
        }
        QCOMPARE(readWholeFile(target), QByteArray("earlier"));
        // One that comes during a step that must not be cut waits for its end;
        // a step begun meanwhile on another thread never goes on.
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGTERM, SIG_DFL);
            prepareSafeWrites();
            std::thread late([&] {
                QThread::msleep(50);
                const EndingSignalsWait step;
                writeFile(directory + "/late", "late");
            });
            {
                const EndingSignalsWait step;
                ::raise(SIGTERM);
                QThread::msleep(200);
                writeFile(target, "stepped");
            }
            late.join();
            ::_exit(3);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        QCOMPARE(readWholeFile(target), QByteArray("stepped"));
        QVERIFY(!QFile::exists(directory + "/late"));
    }

    // A replaced file keeps its extended attributes, its access control list
    // among them (here: one more user may write it, while its group may not).
    void aReplacedFileKeepsItsAttributes()
    {
        const QByteArray path = QFile::encodeName(scratch.filePath("listed.eps"));
        QVERIFY(writeFile(path, "earlier"));
        // Version 2, then entries of tag, permissions and id, in tag order.
        const auto entry = [](quint16 tag, quint16 permissions, quint32 id) {
            QByteArray bytes(8, '\0');
            qToLittleEndian(tag, bytes.data());
            qToLittleEndian(permissions, bytes.data() + 2);
            qToLittleEndian(id, bytes.data() + 4);
            return bytes;
        };
        const QByteArray acl = QByteArray("\x02\0\0\0", 4) + entry(0x01, 6, ~0u) + entry(0x02, 6, 65534) + entry(0x04, 4, ~0u)
                               + entry(0x10, 6, ~0u) + entry(0x20, 4, ~0u);
        if (::setxattr(path, "user.note", "kept", 4, 0) != 0 || ::setxattr(path, "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
            QSKIP("this file system keeps no extended attributes or access control lists");
        QCOMPARE(writeFileSafely(path, "new", 3), WriteOutcome::Written);
        char note[16] = {}, listed[64] = {};
        QCOMPARE(QByteArray(note, int(::getxattr(path, "user.note", note, sizeof note))), QByteArray("kept"));
        QCOMPARE(QByteArray(listed, int(::getxattr(path, "system.posix_acl_access", listed, sizeof listed))), acl);
        QCOMPARE(readWholeFile(path), QByteArray("new"));
    }
};

QTEST_MAIN(SafeWriteTest)
#include "safewrite_test.moc"
