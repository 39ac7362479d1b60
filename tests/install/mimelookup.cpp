// Prints the MIME type the shared MIME database gives each file argument:
// "content" mode looks at the bytes only, "name" mode at the file name only.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3)
        return 2;
    const QMimeDatabase::MatchMode mode = arguments.at(1) == QLatin1String("name")
        ? QMimeDatabase::MatchExtension
        : QMimeDatabase::MatchContent;
    QTextStream out(stdout);
    const QMimeDatabase database;
    for (qsizetype i = 2; i < arguments.size(); ++i)
        out << database.mimeTypeForFile(arguments.at(i), mode).name() << '\n';
    return 0;
}
