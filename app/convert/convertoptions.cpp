#include "app/convert/convertoptions.h"

#include "stream/page.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {
const QStringList kValueOptions = {QStringLiteral("--size"), QStringLiteral("--zoom"), QStringLiteral("--format"),
                                   QStringLiteral("--output-dir"), QStringLiteral("--thumbnail")};

// Zoom corners beyond this are refused, so that no extent overflows.
constexpr int kLargestZoomCoordinate = 1 << 20;

bool parseSize(const QString &text, QSize &size)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    const int width = match.captured(1).toInt();
    const int height = match.captured(2).toInt();
    if (width < 1 || height < 1 || width > kLargestSide || height > kLargestSide)
        return false;
    size = QSize(width, height);
    return true;
}

bool parseZoom(const QString &text, SpanRect &area)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || std::abs(values[i]) > kLargestZoomCoordinate)
            return false;
    }
    if (values[2] <= values[0] || values[3] <= values[1])
        return false;
    area.setCorners(values[0], values[1], values[2], values[3]);
    return true;
}
} // namespace

std::optional<OutputFormat> formatForExtension(QString extension)
{
    if (extension.startsWith(QLatin1Char('.')))
        extension.remove(0, 1);
    extension = extension.toLower();
    if (extension == QLatin1String("png"))
        return OutputFormat::Png;
    if (extension == QLatin1String("jpg") || extension == QLatin1String("jpeg"))
        return OutputFormat::Jpeg;
    if (extension == QLatin1String("svg"))
        return OutputFormat::Svg;
    if (extension == QLatin1String("pdf"))
        return OutputFormat::Pdf;
    if (extension == QLatin1String("eps"))
        return OutputFormat::Eps;
    return std::nullopt;
}

std::optional<OutputFormat> formatOfFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return std::nullopt;
    return formatForExtension(name.mid(dot + 1));
}

const char *extensionOf(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Png: return "png";
    case OutputFormat::Jpeg: return "jpg";
    case OutputFormat::Svg: return "svg";
    case OutputFormat::Pdf: return "pdf";
    case OutputFormat::Eps: return "eps";
    }
    return "png";
}

QSize thumbnailSize(int longest, bool zoomed, const SpanRect &zoomArea)
{
    const double width = zoomed ? zoomArea.width : kPageWidth;
    const double height = zoomed ? zoomArea.height : kPageHeight;
    const auto shorter = [longest](double ratio) { return std::max(1, int(std::lround(longest * ratio))); };
    return width >= height ? QSize(longest, shorter(height / width)) : QSize(shorter(width / height), longest);
}

bool parseConvertOptions(const QStringList &words, ConvertOptions &options, QString &error)
{
    bool sizeGiven = false, formatGiven = false, optionsEnded = false;
    int thumbnail = 0;
    QStringList files;
    for (const QString &word : words) {
        if (optionsEnded || !word.startsWith(QLatin1String("--"))) {
            files << word;
            continue;
        }
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        const QString name = word.left(equals);
        const QString value = equals < 0 ? QString() : word.mid(equals + 1);
        if (word == QLatin1String("--")) {
            optionsEnded = true;
        } else if (word == QLatin1String("--help")) {
            options.mode = ConvertMode::Help;
            return true;
        } else if (word == QLatin1String("--version")) {
            options.mode = ConvertMode::Version;
            return true;
        } else if (kValueOptions.contains(name) && (equals < 0 || value.isEmpty())) {
            error = QStringLiteral("%1 needs a value: %1=...").arg(name);
            return false;
        } else if (name == QLatin1String("--size")) {
            if (!parseSize(value, options.size)) {
                error = QStringLiteral("bad --size '%1': give WIDTHxHEIGHT in pixels, 1 to %2 each").arg(value, QString::number(kLargestSide));
                return false;
            }
            sizeGiven = true;
        } else if (name == QLatin1String("--zoom")) {
            if (!parseZoom(value, options.zoomArea)) {
                error = QStringLiteral("bad --zoom '%1': give left,top,right,bottom in page units, each within %2 of 0, right > left, bottom > top").arg(value, QString::number(kLargestZoomCoordinate));
                return false;
            }
            options.zoomed = true;
        } else if (name == QLatin1String("--format")) {
            const std::optional<OutputFormat> format = formatForExtension(value);
            if (!format) {
                error = QStringLiteral("unknown --format '%1': use png, jpg, jpeg, svg, pdf or eps").arg(value);
                return false;
            }
            options.format = *format;
            formatGiven = true;
        } else if (name == QLatin1String("--output-dir")) {
            options.outputDirectory = value;
        } else if (name == QLatin1String("--thumbnail")) {
            bool ok = false;
            thumbnail = value.toInt(&ok);
            if (!ok || thumbnail < 1 || thumbnail > kLargestSide) {
                error = QStringLiteral("bad --thumbnail '%1': give the longest side in pixels, 1 to %2").arg(value, QString::number(kLargestSide));
                return false;
            }
        } else {
            error = QStringLiteral("unknown option '%1'").arg(word);
            return false;
        }
    }

    const bool batch = formatGiven || !options.outputDirectory.isEmpty();
    if (thumbnail > 0 && (batch || sizeGiven)) {
        error = QStringLiteral("--thumbnail sets the size and converts one file: it goes with neither --size, --format nor --output-dir");
        return false;
    }
    if (batch) {
        if (!formatGiven || options.outputDirectory.isEmpty()) {
            error = QStringLiteral("--format=EXT and --output-dir=DIR go together");
            return false;
        }
        if (files.isEmpty()) {
            error = QStringLiteral("no input files");
            return false;
        }
        options.mode = ConvertMode::Batch;
        options.inputs = files;
        return true;
    }
    if (files.size() != 2) {
        error = QStringLiteral("give one input and one output file (or --format=EXT --output-dir=DIR with inputs)");
        return false;
    }
    options.inputs = QStringList{files[0]};
    options.output = files[1];
    if (thumbnail > 0) {
        options.mode = ConvertMode::Thumbnail;
        options.format = OutputFormat::Png;
        options.size = thumbnailSize(thumbnail, options.zoomed, options.zoomArea);
        // A miniature of a view at least as wide as the usual one: drawn as
        // small as the thumbnail itself, the line widths (which follow the
        // width) shrink until wide pens are fainter than the one-pixel pen.
        const double grow = std::max(1.0, double(kDefaultWidth) / options.size.width());
        const int longest = int(std::min<double>(kLargestSide, std::ceil(thumbnail * grow)));
        options.drawnSize = thumbnailSize(longest, options.zoomed, options.zoomArea);
        return true;
    }
    options.mode = ConvertMode::Single;
    const std::optional<OutputFormat> format = formatOfFile(options.output);
    if (!format) {
        error = options.output + QStringLiteral(": unknown output format: name it .png, .jpg, .jpeg, .svg, .pdf or .eps");
        return false;
    }
    options.format = *format;
    return true;
}

const char *const kConvertUsage =
    "Usage: kelvo-convert [OPTIONS] IN.pvg OUT.(png|jpg|jpeg|svg|pdf|eps)\n"
    "       kelvo-convert [OPTIONS] --format=EXT --output-dir=DIR IN.pvg...\n"
    "       kelvo-convert [--zoom=l,t,r,b] --thumbnail=N IN.pvg OUT.png\n"
    "\n"
    "Converts PVG drawings as kelvo's view of the given size shows them.\n"
    "\n"
    "  --size=WxH          picture size in pixels (default 1280x975); sets the line\n"
    "                      widths, as a view of that width does\n"
    "  --zoom=l,t,r,b      show only this part of the page (page units, y downward,\n"
    "                      the page is 0,0,4096,3120)\n"
    "  --format=EXT        with --output-dir: write every input as DIR/<name>.EXT\n"
    "                      (EXT in lower case, jpg for jpeg), on all processor cores\n"
    "  --output-dir=DIR    where batch output goes (made when missing)\n"
    "  --thumbnail=N       PNG of longest side N with the proportions of the page\n"
    "                      (or of --zoom's area), whatever OUT is named\n"
    "  --                  ends the options: every word after it is a file\n"
    "  --help              show this help\n"
    "  --version           show the version\n"
    "\n"
    "SVG, PDF and EPS are vector pictures sized by eps_scalefactor (points per page\n"
    "unit). Settings come from kelvo.cfg and .kelvosettings as for kelvo.\n"
    "Exit status: 0 when every file was converted, 1 when one failed, 2 on bad usage.\n";
