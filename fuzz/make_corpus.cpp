// Writes the fuzzer's seed corpus: small drawings that between them use every
// command, the degenerate escapes and the ways a picture ends.
#include "tests/support/pvgwriter.h"

#include <cstdio>
#include <string>

namespace {
const std::string ESC = "\x1B";

void write(const std::string &dir, const char *name, const PvgWriter &writer)
{
    const std::string path = dir + "/" + name;
    if (!writer.writeFile(path))
        std::perror(path.c_str());
}
} // namespace

int main(int argc, char **argv)
{
    const std::string dir = argc > 1 ? argv[1] : ".";
    write(dir, "lines.pvg", PvgWriter().colourMapEntry(2, 90, 50, 100).lineColour(2).lineWidth(3)
                                .moveTo(100, 100).lineTo(900, 100).lineTo(900, 700).lineTo(100, 700).lineTo(100, 100).end());
    write(dir, "colours.pvg", PvgWriter()
                                  .colourMapEntry(2, 0, 90, 5).colourMapEntry(3, 120, 50, 50)
                                  .colourMapEntry(4, 350, 50, 50).colourMapEntry(29, 200, 20, 0)
                                  .lineColour(2).moveTo(0, 0).lineTo(4095, 3119)
                                  .lineColour(3).lineTo(0, 3119).lineColour(29).lineTo(10, 10)
                                  .end());
    PvgWriter background;
    background.comment(std::string(60, 'p')).comment(std::string(60, 'q')).background(0)
        .lineColour(1).moveTo(10, 10).lineTo(20, 30).end();
    write(dir, "background.pvg", background);
    write(dir, "text.pvg", PvgWriter().font("Sans").fontSize(12).textFlags(3).raw(ESC + "ZC5")
                               .textPosition(100, 200).text("hello\n").raw(ESC + "ZO1").end());
    write(dir, "operands.pvg", PvgWriter()
                                   .raw(ESC + "MC123" + ESC + "MR12" + ESC + "MX1" + ESC + "RA12")
                                   .raw(ESC + "TX skipped" + ESC + "QQ skipped too" + ESC + "LX")
                                   .raw(ESC + "TG11" + "5," + "C2").lineColour(5)
                                   .comment(std::string(90, 'c')).moveTo(5, 5).lineTo(6, 6).end());
    write(dir, "escapes.pvg", PvgWriter()
                                  .raw(ESC + ESC + "ML1" + ESC + "M" + ESC + "GT" + ESC + "G1")
                                  .raw(ESC + "ZP1,2" + ESC + "ZP3,4;ML1" + ESC + "ZF" + ESC + "ZD")
                                  .moveTo(1, 1).raw("\x1D\x80\x05").lineTo(2, 2).end());
    write(dir, "ends.pvg", PvgWriter().moveTo(0, 0).lineTo(1, 1).raw("\xFF").lineTo(2, 2));
    write(dir, "addresses.pvg", PvgWriter().raw("\x1D").fullAddress(1001, 2002)
                                    .raw("\x65\x47\x22\x61\x62\x23\x48" + std::string(60, '\x61') + "@")
                                    .end());
    return 0;
}
