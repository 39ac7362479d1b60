#include "app/convert/batchrunner.h"

#include "app/convert/conversion.h"
#include "app/convert/filenames.h"
#include "common/regularfile.h"
#include "common/safewrite.h"
#include "stream/signature.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

class Reporter
{
public:
    explicit Reporter(int total) : total(total), terminal(isatty(STDERR_FILENO) == 1) {}

    void failed(const QString &line, int files = 1)
    {
        std::lock_guard lock(mutex);
        clearProgress();
        std::fprintf(stderr, "kelvo-convert: %s\n", fileSystemName(line).constData());
        failures += files;
        showProgress();
    }
    void finishedOne()
    {
        std::lock_guard lock(mutex);
        ++finished;
        showProgress();
    }
    int summary()
    {
        std::lock_guard lock(mutex);
        clearProgress();
        const int converted = total - failures;
        if (failures == 0)
            std::fprintf(stderr, "kelvo-convert: %d of %d files converted\n", converted, total);
        else
            std::fprintf(stderr, "kelvo-convert: %d of %d files converted, %d failed\n", converted, total, failures);
        std::fflush(stderr);
        return failures == 0 ? 0 : 1;
    }

private:
    void showProgress()
    {
        if (!terminal)
            return;
        std::fprintf(stderr, "\rkelvo-convert: %d/%d", finished, total);
        std::fflush(stderr);
        progressShown = true;
    }
    void clearProgress()
    {
        if (progressShown)
            std::fputs("\r\033[K", stderr);
        progressShown = false;
    }

    std::mutex mutex;
    const int total;
    const bool terminal;
    bool progressShown = false;
    int finished = 0;
    int failures = 0;
};

// Only a file that can be converted claims its output name, so that a
// stray file of the same name (an earlier output, say) gives way to it. A
// FIFO is not waited for: it is no file to convert.
bool startsAsPvg(const QString &input)
{
    const int fd = openRegularFileForReading(fileSystemName(input).constData());
    if (fd < 0)
        return false;
    unsigned char head[kPvgSignatureLength];
    const bool starts = readFully(fd, head, qint64(sizeof head)) == qint64(sizeof head)
                        && hasPvgSignature(head, qint64(sizeof head));
    ::close(fd);
    return starts;
}

// The output directory, with any missing parents; false when it is not a
// directory then.
bool madeDirectory(const QString &name)
{
    const std::filesystem::path path(fileSystemName(name).toStdString());
    std::error_code failure;
    std::filesystem::create_directories(path, failure);
    return std::filesystem::is_directory(path, failure);
}

// DIR/<name without its last extension>.EXT
QString outputFor(const QString &input, const QDir &directory, OutputFormat format)
{
    const QFileInfo info(input);
    QString base = info.completeBaseName();
    if (base.isEmpty())
        base = info.fileName();
    return directory.filePath(base + QLatin1Char('.') + QLatin1String(extensionOf(format)));
}

// The file an output lands in, as a key: outputs that are links to one
// another, or names of one file, would otherwise write over each other.
QString landingOf(const QString &output)
{
    const QByteArray name = fileSystemName(output);
    struct stat status {};
    if (::stat(name.constData(), &status) == 0)
        return QStringLiteral("file %1:%2").arg(status.st_dev).arg(status.st_ino);
    const std::string target = writeTargetOf(name.constData());
    return QFileInfo(target.empty() ? output : wordFromArgument(target.c_str())).absoluteFilePath();
}

} // namespace

int runBatch(const ConvertOptions &options)
{
    const int total = int(options.inputs.size());
    Reporter reporter(total);
    QDir directory(options.outputDirectory);
    if (!madeDirectory(options.outputDirectory)) {
        reporter.failed(options.outputDirectory + QStringLiteral(": cannot make the output directory"), total);
        return reporter.summary();
    }

    // No output may replace an input (a PVG file may be named like an
    // output), and two inputs of the same name would race for one output: the
    // first PVG file among them keeps it.
    std::set<std::pair<dev_t, ino_t>> inputFiles;
    for (const QString &input : options.inputs) {
        struct stat status {};
        if (::stat(fileSystemName(input).constData(), &status) == 0)
            inputFiles.emplace(status.st_dev, status.st_ino);
    }
    std::vector<ConversionJob> jobs;
    QHash<QString, QString> claimed;
    for (const QString &input : options.inputs) {
        ConversionJob job;
        job.input = input;
        job.output = outputFor(input, directory, options.format);
        job.format = options.format;
        job.size = options.size;
        job.zoomed = options.zoomed;
        job.zoomArea = options.zoomArea;
        const QString key = landingOf(job.output);
        if (claimed.contains(key)) {
            reporter.failed(input + QStringLiteral(": its output ") + job.output + QStringLiteral(" is already that of ")
                            + claimed.value(key) + QStringLiteral(", not converted"));
            reporter.finishedOne();
            continue;
        }
        struct stat status {};
        if (::stat(fileSystemName(job.output).constData(), &status) == 0
            && inputFiles.count({status.st_dev, status.st_ino}) > 0) {
            reporter.failed(input + QStringLiteral(": its output ") + job.output + QStringLiteral(" is an input file, not written"));
            reporter.finishedOne();
            continue;
        }
        if (startsAsPvg(input))
            claimed.insert(key, input);
        jobs.push_back(job);
    }

    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            QString error;
            if (!convertFile(jobs[i], error))
                reporter.failed(error);
            reporter.finishedOne();
        }
    };
    const int threadCount = std::clamp(QThread::idealThreadCount(), 1, std::max(1, int(jobs.size())));
    std::vector<std::thread> threads;
    for (int t = 1; t < threadCount; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error &) {
            break; // no more threads to be had: those started and this one share the files
        }
    }
    work();
    for (std::thread &thread : threads)
        thread.join();
    return reporter.summary();
}
