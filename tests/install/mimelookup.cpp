// Prints the MIME type of each file: "content" mode by its bytes, "name" mode by its name.
#include <QCoreApplication>
#include <QMimeDatabase>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList words = application.arguments();
    const auto mode = words.value(1) == "name" ? QMimeDatabase::MatchExtension : QMimeDatabase::MatchContent;
    QTextStream out(stdout);
    for (qsizetype i = 2; i < words.size(); ++i)
        out << QMimeDatabase().mimeTypeForFile(words.at(i), mode).name() << '\n';
    return 0;
}
