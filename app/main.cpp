#include "app/mainform.h"

#include <QApplication>

#include <csignal>

int main(int argc, char** argv)
{
    // A file-size limit then makes a write fail with an error the program reports, instead of
    // ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QLXCopy"));
    qlx::MainForm form(qlx::startupInfoFromApplication());
    form.Form_Load();
    return app.exec();
}
