#pragma once
// Where a test finds the programs it runs and the project's own files: where CTest says, else
// beside the test program (every program lands in the build folder) and in the sources it was
// built from, so that a test program also runs and debugs on its own, from any folder.

#include <QCoreApplication>
#include <QString>

inline QString buildDir()
{
    const QString dir = qEnvironmentVariable("QLX_BUILD_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

inline QString sourceDir() { return qEnvironmentVariable("QLX_SOURCE_DIR", QStringLiteral(QLX_TEST_SOURCE_DIR)); }
