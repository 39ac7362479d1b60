#include "app/settingsfiles.h"

#include "common/optionstate.h"
#include "common/decimaltext.h"
#include "common/fixedtext.h"
#include "common/regularfile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal integer from the leading part of text, like atoi; no digits gives 0.
// Values beyond 32 bits are held at the limits. end (optional) receives the
// position after the number, or text when nothing was converted.
int32_t parseInteger(const char *text, const char **end = nullptr)
{
    int32_t value = 0;
    const char *after = scanInt32(text, value);
    if (end != nullptr)
        *end = after != nullptr ? after : text;
    return value;
}

// Decimal floating-point number from the leading part of text, like strtod but
// always with '.' as the decimal point whatever the process locale says, and
// decimal only (no hex, inf or nan). No number gives 0.0.
double parseDouble(const char *text, const char **end = nullptr)
{
    const char *start = skipBlanks(text);
    const char *p = start;
    if (*p == '+' || *p == '-')
        ++p;
    int digits = 0;
    while (isDigit(*p)) {
        ++p;
        ++digits;
    }
    if (*p == '.') {
        ++p;
        while (isDigit(*p)) {
            ++p;
            ++digits;
        }
    }
    if (digits == 0) {
        if (end != nullptr)
            *end = text;
        return 0.0;
    }
    if (*p == 'e' || *p == 'E') {
        const char *exponent = p + 1;
        if (*exponent == '+' || *exponent == '-')
            ++exponent;
        if (isDigit(*exponent)) {
            while (isDigit(*exponent))
                ++exponent;
            p = exponent;
        }
    }
    if (end != nullptr)
        *end = p;

    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string number(start, p);
    if (cLocale == static_cast<locale_t>(nullptr))
        return std::strtod(number.c_str(), nullptr);
    return strtod_l(number.c_str(), nullptr, cLocale);
}

int32_t parseFlag(const char *text)
{
    const char c = *skipBlanks(text);
    return c == 'y' || c == 'Y' ? 1 : 0;
}

// "x , y": the second number follows the first ',' after the first number. A
// value without ',' is ignored as a whole, so both fields keep their values.
template <typename Number, typename Parser>
void parsePair(const char *text, Number (&pair)[2], Parser parse)
{
    const char *afterFirst = text;
    const Number first = parse(text, &afterFirst);
    const char *comma = std::strchr(afterFirst, ',');
    if (comma == nullptr)
        return;
    pair[0] = first;
    pair[1] = parse(skipBlanks(comma + 1), nullptr);
}

// Applies one line (or one piece of an over-long line).
void applyLine(const char *line)
{
    if (line[0] == '#')
        return;

    enum Parser { Integer, IntegerPair, DoublePair, Double, Flag };
    struct Key {
        const char *name;
        Parser parser;
        void *field;
    };
    ViewerSettingsRecord &s = ViewerSettings;
    const Key keys[] = {
        {"printer_min_linewidth", Integer, &s.printer_min_linewidth},
        {"printer_page_shift", IntegerPair, &s.printer_page_shift},
        {"printer_page_size", DoublePair, &s.printer_page_size},
        {"printer_paper_type", Integer, &s.printer_paper_type},
        {"export_quality", Integer, &s.export_quality},
        {"eps_cvt_lines_to_black", Flag, &s.eps_cvt_lines_to_black},
        {"eps_include_background", Flag, &s.eps_include_background},
        {"eps_scalefactor", Double, &s.eps_scalefactor},
        {"autosave", Flag, &s.autosave},
    };

    for (const Key &key : keys) {
        if (std::strstr(line, key.name) == nullptr)
            continue;
        // The first key found decides, also when its line has no value.
        const char *equals = std::strchr(line, '=');
        if (equals == nullptr)
            return;
        const char *value = equals + 1;
        switch (key.parser) {
        case Integer:
            *static_cast<int32_t *>(key.field) = parseInteger(value);
            break;
        case IntegerPair:
            parsePair(value, s.printer_page_shift, parseInteger);
            break;
        case DoublePair:
            parsePair(value, s.printer_page_size, parseDouble);
            break;
        case Double:
            *static_cast<double *>(key.field) = parseDouble(value);
            break;
        case Flag:
            *static_cast<int32_t *>(key.field) = parseFlag(value);
            break;
        }
        return;
    }
}

// What the search finds in a directory. A FIFO would block the open: it
// counts as no file. Anything else that opens but is not a file (a
// directory, a device such as /dev/null) ends the search and reads as
// empty: a device may never end.
enum class ConfigFound { None, Unread, File };

ConfigFound openConfigIn(const std::string &directory, FILE *&file)
{
    unsigned found = 0;
    const int fd = openRegularFileForReading((directory + "/kelvo.cfg").c_str(), &found);
    if (fd < 0)
        return found != 0 && !S_ISFIFO(found) ? ConfigFound::Unread : ConfigFound::None;
    file = fdopen(fd, "r");
    if (file == nullptr) {
        close(fd);
        return ConfigFound::None;
    }
    return ConfigFound::File;
}

} // namespace

int readConfigFile()
{
    for (const std::string *directory : {&homeDir, &appDir}) {
        FILE *file = nullptr;
        const ConfigFound found = openConfigIn(*directory, file);
        if (found == ConfigFound::None)
            continue;
        if (found == ConfigFound::File) {
            char line[kTextBufferSize];
            while (std::fgets(line, sizeof line, file) != nullptr)
                applyLine(line);
            std::fclose(file);
        }
        return 0;
    }
    return -1;
}
