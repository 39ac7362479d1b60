#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Files and programs as the tests use them: whole files, the 35-byte state
// file, and runs of the real binaries (KELVO_BINARY, or another program).

inline QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes the missing directories on the way.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A state file: the version zero-padded to 10 bytes, the white-background
// byte, then each geometry value as 4 little-endian bytes.
inline QByteArray stateFileBytes(const QByteArray &version, char white, const QList<qint32> &geometry)
{
    QByteArray bytes = version.leftJustified(10, '\0', true) + white;
    for (const qint32 value : geometry)
        for (int i = 0; i < 4; ++i)
            bytes += char((quint32(value) >> (8 * i)) & 0xFF);
    return bytes;
}

struct BinaryRun {
    bool ended = false; // ended by itself within the time allowed
    int status = -1;
    QByteArray out;
    QByteArray err;
};

inline BinaryRun runBinary(const QStringList &arguments, const QString &directory = QString(),
                           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                           const QString &program = qEnvironmentVariable("KELVO_BINARY"), int waitMs = 60000)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!directory.isEmpty())
        process.setWorkingDirectory(directory);
    process.start(program, arguments);
    BinaryRun run;
    run.ended = process.waitForFinished(waitMs) && process.exitStatus() == QProcess::NormalExit;
    if (!run.ended) {
        process.kill();
        process.waitForFinished();
    }
    run.status = run.ended ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
