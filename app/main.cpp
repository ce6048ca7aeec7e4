#include "app/mainform.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QLXCopy"));
    qlx::MainForm form(qlx::startupInfoFromApplication());
    form.Form_Load();
    return app.exec();
}
