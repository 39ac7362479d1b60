#include "common/quitrequest.h"

#include <QCoreApplication>

namespace {
bool quitHasBeenRequested = false;
}

void requestQuit()
{
    quitHasBeenRequested = true;
    QCoreApplication::quit();
}

bool quitRequested()
{
    return quitHasBeenRequested;
}
