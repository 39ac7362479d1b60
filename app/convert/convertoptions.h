#pragma once

#include "common/spanrect.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

enum class OutputFormat { Png, Jpeg, Svg, Pdf, Eps };

// The format an extension names ("png", ".JPG", ...); none for any other.
std::optional<OutputFormat> formatForExtension(QString extension);
// The format of an output file's name, from its extension.
std::optional<OutputFormat> formatOfFile(const QString &path);
const char *extensionOf(OutputFormat format);

inline constexpr int kDefaultWidth = 1280;
inline constexpr int kDefaultHeight = 975;
inline constexpr int kLargestSide = 16384;

enum class ConvertMode { Single, Batch, Thumbnail, Help, Version };

struct ConvertOptions {
    ConvertMode mode = ConvertMode::Single;
    QSize size{kDefaultWidth, kDefaultHeight};
    QSize drawnSize;      // Thumbnail: the view it is a miniature of
    bool zoomed = false;
    SpanRect zoomArea;    // logical units
    OutputFormat format = OutputFormat::Png; // batch
    QString outputDirectory;                 // batch
    QStringList inputs;   // one for Single and Thumbnail
    QString output;       // Single and Thumbnail
};

// Reads the words after the program name. False, with error filled in, when
// they do not make one of the command forms.
bool parseConvertOptions(const QStringList &words, ConvertOptions &options, QString &error);

// The picture size of a thumbnail whose longest side is longest: the aspect
// of the page, or of the zoom area.
QSize thumbnailSize(int longest, bool zoomed, const SpanRect &zoomArea);

extern const char *const kConvertUsage;
