#include "app/convert/conversion.h"

#include "app/convert/filenames.h"
#include "commands/documentfile.h"
#include "common/regularfile.h"
#include "common/safewrite.h"
#include "common/viewersettings.h"
#include "stream/epssink.h"
#include "stream/paintersink.h"
#include "stream/pvgmeta.h"
#include "stream/signature.h"
#include "stream/svgsink.h"
#include "stream/viewmapping.h"
#include "view/framerenderer.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The view paints on white around the page (its base colour).
constexpr QRgb kViewBase = 0xFFFFFFFF;
// Text sizes in the vector outputs keep the proportion they have in the view,
// which sets text at 96 dpi.
constexpr int kVectorResolution = 96;
constexpr double kDefaultEpsScale = 0.25;
// zlib level 2: a dense 1280x975 plot encodes in well under half the default
// level's time, for a few per cent more bytes.
constexpr int kPngQuality = 70;

struct Document {
    std::shared_ptr<unsigned char[]> bytes; // shared with a frame's render
    int32_t size = 0;
};

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// As the viewer loads a file: a regular file, whole, recognised by its first
// 16 bytes, with zero bytes after it that end any walk running off the end.
bool readDocument(const QString &path, Document &document, QString &error)
{
    errno = 0;
    const int fd = openRegularFileForReading(fileSystemName(path).constData());
    if (fd < 0) {
        error = errno != 0 ? systemReason(errno) : QStringLiteral("not a regular file");
        return false;
    }
    const off_t length = lseek(fd, 0, SEEK_END);
    if (length < 0 || lseek(fd, 0, SEEK_SET) != 0) {
        error = systemReason(errno);
        close(fd);
        return false;
    }
    if (length > kLargestDocument) {
        close(fd);
        error = QStringLiteral("too large to read");
        return false;
    }
    document.size = static_cast<int32_t>(length);
    document.bytes = std::shared_ptr<unsigned char[]>(new (std::nothrow) unsigned char[std::size_t(length) + kZeroBytesAfterData]);
    if (!document.bytes) {
        close(fd);
        error = QStringLiteral("not enough memory to read it");
        return false;
    }
    errno = 0;
    const long long got = readFully(fd, document.bytes.get(), length);
    const int readError = errno;
    close(fd);
    if (got != length) {
        error = readError != 0 ? systemReason(readError) : QStringLiteral("could not be read whole");
        return false;
    }
    if (!hasPvgSignature(document.bytes.get(), document.size)) {
        error = QString::fromLatin1(notPvgMessage);
        return false;
    }
    std::memset(document.bytes.get() + length, 0, kZeroBytesAfterData);
    return true;
}

// The size a picture is drawn at: its own, or a thumbnail's larger view.
QSize drawnSizeOf(const ConversionJob &job)
{
    return job.drawnSize.isEmpty() ? job.size : job.drawnSize;
}

// The line-width scale and zoom area of a view of the drawn size that shows
// the job's part of the page.
ViewWalk walkFor(const ConversionJob &job)
{
    ViewWalk walk;
    walk.lineWidthScale = drawnSizeOf(job).width() / kReferenceViewWidth;
    if (job.zoomed) {
        walk.zoomArea = job.zoomArea;
        walk.lineWidthScale *= double(kPageWidth) / job.zoomArea.width;
    }
    return walk;
}

void walkDocument(const Document &document, const ConversionJob &job, StreamSink *sink)
{
    WalkInput input;
    input.data = document.bytes.get();
    input.size = document.size;
    input.whiteBackground = ViewerSettings.whiteBackground != 0;
    const ViewWalk walk = walkFor(job);
    CPvgMeta meta(input, sink, walk.lineWidthScale);
    meta.render(walk.zoomArea, fullPageRect());
}

// Points per page unit for SVG and PDF. A scale that gives no page at all
// (a bad value reads as 0) falls back to the default.
double vectorScale()
{
    const double scale = ViewerSettings.eps_scalefactor;
    return std::isfinite(scale) && scale > 1e-6 && scale < 1e3 ? scale : kDefaultEpsScale;
}

QSizeF pageAreaSize(const ConversionJob &job)
{
    return job.zoomed ? QSizeF(job.zoomArea.width, job.zoomArea.height) : QSizeF(kPageWidth, kPageHeight);
}

// Every encoder's output grows in memory; when it cannot, the file fails so.
QString noMemoryToEncode()
{
    return QStringLiteral("not enough memory to encode it");
}

bool encodeRaster(const Document &document, const ConversionJob &job, QByteArray &encoded, QString &error)
{
    // The view's own frame renderer: the same picture as kelvo's view and its
    // JPEG export, on all cores.
    const QSize drawn = drawnSizeOf(job);
    const ViewWalk walk = walkFor(job);
    FrameRequest request;
    request.key.pixelSize = drawn;
    request.key.lineWidthScale = walk.lineWidthScale;
    request.key.zoomArea = walk.zoomArea;
    request.key.whiteBackground = ViewerSettings.whiteBackground != 0;
    request.key.data = document.bytes.get();
    request.key.size = document.size;
    request.bytes = document.bytes;
    request.outside = kViewBase;
    FrameRenderer renderer({});
    renderer.start(std::move(request));
    renderer.wait(-1);
    std::optional<FinishedFrame> frame = renderer.takeFinished();
    if (!frame || frame->image.isNull()) {
        error = QStringLiteral("not enough memory (or threads) for a %1x%2 picture").arg(drawn.width()).arg(drawn.height());
        return false;
    }
    // Opaque throughout (the page and what lies around it are), so the
    // pixels read the same without alpha.
    QImage image = std::move(frame->image);
    image.setDevicePixelRatio(1);
    image.reinterpretAsFormat(QImage::Format_RGB32);
    if (drawn != job.size)
        image = image.scaled(job.size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    bool saved;
    // The encoded bytes grow in the toolkit's byte array, which reports an
    // allocation that failed by exception (through the codec's frames, which
    // have unwind tables): the file fails, not the whole run.
    try {
        if (job.format == OutputFormat::Jpeg) {
            saved = image.save(&buffer, "JPEG", jpegExportQuality()); // as the viewer's export
        } else {
            saved = image.save(&buffer, "PNG", kPngQuality);
        }
    } catch (const std::bad_alloc &) {
        error = noMemoryToEncode();
        return false;
    }
    if (!saved)
        error = QStringLiteral("the image could not be encoded");
    return saved;
}

// The SVG is gathered whole in the toolkit's byte array, which reports an
// allocation that failed by exception: the file fails, not the whole run.
bool encodeSvg(const Document &document, const ConversionJob &job, QByteArray &encoded, QString &error)
{
    SvgSettings settings;
    settings.scale = vectorScale();
    settings.pictureWidth = job.size.width();
    try {
        SvgSink sink(&encoded, settings);
        walkDocument(document, job, &sink);
    } catch (const std::bad_alloc &) {
        error = noMemoryToEncode();
        return false;
    }
    return true;
}

bool encodePdf(const Document &document, const ConversionJob &job, QByteArray &encoded, QString &error)
{
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    auto writer = std::make_unique<QPdfWriter>(&buffer);
    writer->setCreator(QStringLiteral("kelvo-convert"));
    writer->setTitle(QFileInfo(job.input).fileName());
    writer->setResolution(kVectorResolution);
    // The writer's pages are whole points: a side under half a point would
    // make a page of no size (or the writer's Letter instead).
    const QSizeF exact = pageAreaSize(job) * vectorScale();
    const QSizeF points(std::max(1.0, std::round(exact.width())), std::max(1.0, std::round(exact.height())));
    writer->setPageSize(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch));
    writer->setPageMargins(QMarginsF(0, 0, 0, 0));
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(writer.get())) {
        error = QStringLiteral("the PDF could not be started");
        return false;
    }
    bool ended = false;
    try {
        {
            PainterSink sink(painter.get());
            // The device is whole pixels (at 96 dpi a page 1024 points wide
            // is 1365.33 of them): the picture is stretched over the whole
            // page, not left a strip short of its right edge.
            const double perPoint = kVectorResolution / 72.0;
            sink.setDeviceStretch(points.width() * perPoint / writer->width(),
                                  points.height() * perPoint / writer->height());
            walkDocument(document, job, &sink);
        }
        ended = painter->end();
    } catch (const std::bad_alloc &) {
        // The painter's end, also the one its destructor would make, writes
        // the page and fails again, where no failure can be caught: the half
        // made page is let go instead, with the painter and the writer.
        (void)painter.release();
        (void)writer.release();
        error = noMemoryToEncode();
        return false;
    }
    if (!ended) {
        error = QStringLiteral("the PDF could not be finished");
        return false;
    }
    return true;
}

WriteOutcome openOutput(SafeFileWrite &file, const QString &name)
{
    return file.open(fileSystemName(name).constData());
}

WriteOutcome writeOutput(const QString &name, const QByteArray &bytes)
{
    SafeFileWrite file;
    WriteOutcome outcome = openOutput(file, name);
    if (outcome != WriteOutcome::Written)
        return outcome;
    if (!file.write(bytes.constData(), std::size_t(bytes.size()))) {
        file.discard();
        return WriteOutcome::WriteFailed;
    }
    return file.commit();
}

bool isReadOnlyFile(const QString &name)
{
    struct stat status {};
    const QByteArray path = fileSystemName(name);
    return ::stat(path.constData(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.constData(), W_OK) != 0;
}

QString writeFailure(WriteOutcome outcome, const QString &name)
{
    switch (outcome) {
    case WriteOutcome::NotOpened:
        if (isReadOnlyFile(name))
            return QStringLiteral("the file is read-only, not written");
        return QStringLiteral("cannot create the file there");
    case WriteOutcome::NotAFile: return QStringLiteral("not a regular file, not written");
    case WriteOutcome::WriteFailed: return QStringLiteral("writing failed (disk full?); nothing written");
    case WriteOutcome::Written: break;
    }
    return QString();
}

bool writeEps(const Document &document, const ConversionJob &job, QString &error)
{
    SafeFileWrite file;
    WriteOutcome outcome = openOutput(file, job.output);
    if (outcome == WriteOutcome::Written && file.stream() == nullptr)
        outcome = WriteOutcome::NotOpened;
    if (outcome == WriteOutcome::Written) {
        EpsSink eps(file.stream(), epsSettingsOf(ViewerSettings));
        walkDocument(document, job, &eps);
        outcome = file.commit();
    }
    error = writeFailure(outcome, job.output);
    return outcome == WriteOutcome::Written;
}

} // namespace

bool isSameFile(const QString &a, const QString &b)
{
    std::error_code failure;
    const bool same = std::filesystem::equivalent(std::filesystem::path(fileSystemName(a).toStdString()),
                                                  std::filesystem::path(fileSystemName(b).toStdString()), failure);
    return same && !failure;
}

bool convertFile(const ConversionJob &job, QString &error)
{
    if (isSameFile(job.input, job.output)) {
        error = job.output + QStringLiteral(": is the input file, not written");
        return false;
    }
    Document document;
    QString reason;
    if (!readDocument(job.input, document, reason)) {
        error = job.input + QStringLiteral(": ") + reason;
        return false;
    }

    bool done = false;
    if (job.format == OutputFormat::Eps) {
        done = writeEps(document, job, reason);
    } else {
        QByteArray encoded;
        switch (job.format) {
        case OutputFormat::Png:
        case OutputFormat::Jpeg: done = encodeRaster(document, job, encoded, reason); break;
        case OutputFormat::Svg: done = encodeSvg(document, job, encoded, reason); break;
        case OutputFormat::Pdf: done = encodePdf(document, job, encoded, reason); break;
        case OutputFormat::Eps: break;
        }
        if (done) {
            const WriteOutcome outcome = writeOutput(job.output, encoded);
            reason = writeFailure(outcome, job.output);
            done = outcome == WriteOutcome::Written;
        }
    }
    if (!done)
        error = job.output + QStringLiteral(": ") + reason;
    return done;
}
