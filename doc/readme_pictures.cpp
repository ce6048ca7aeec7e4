// readme_pictures OUT.png: the window as a newcomer first sees it at work, for the README. The
// real window, on the simulated tester behind the GPIB calls with the sample hardcopies, connects,
// lists the print directory, copies the first hardcopy and shows it; the window's picture is
// written to OUT.png. Any message box fails the run (exit status 1), since the picture would then
// not show the plain road. libqlxsim-gpib.so is taken from the folder of this program.
// scripts/readme-pictures runs it offscreen.

#include "app/iniio.h"
#include "app/mainform.h"
#include "platform/dialogs.h"
#include "platform/pictureview.h"
#include "sim/sample_screens.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace qlx;

namespace {

constexpr auto Shown = "HC_0001.WMF";

// Answers every message box with its default and remembers the first one.
class NoteDialogs : public Dialogs {
public:
    NoteDialogs() { setDialogs(this); }
    ~NoteDialogs() override { setDialogs(nullptr); }
    int messageBox(QWidget*, const QString& text, int, const QString& title) override
    {
        if (first.isEmpty())
            first = title + QStringLiteral(": ") + text;
        return AnswerOk;
    }
    QString first;
};

int fail(const QString& why)
{
    std::fprintf(stderr, "readme_pictures: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    // Only this tool's own messages go to stderr, not Qt's notes about the offscreen platform.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication app(argc, argv);
    if (app.arguments().size() != 2)
        return fail(QStringLiteral("usage: readme_pictures OUT.png"));
    QTemporaryDir root;
    const QString tester = root.filePath("tester"), program = root.filePath("program"), pc = root.filePath("pc");
    for (const QString& folder : {tester, program, pc})
        QDir().mkpath(folder);
    for (const qlxsim::SampleFile& sample : qlxsim::sampleFiles()) {
        QFile file(tester + u'/' + QString::fromStdString(sample.name));
        if (!file.open(QIODevice::WriteOnly) || file.write(sample.bytes.data(), qint64(sample.bytes.size())) < 0)
            return fail(QStringLiteral("cannot write the sample hardcopies"));
    }
    qputenv("QLXCOPY_GPIB_LIBRARY", (app.applicationDirPath() + "/libqlxsim-gpib.so").toLocal8Bit());
    qputenv("QLXSIM_DIR", tester.toLocal8Bit());
    const QString ini = settingsFilePath(program);
    IniWrite(ini, QStringLiteral("Path"), QStringLiteral("FilePath"), pc);
    IniWrite(ini, QStringLiteral("Remote"), QStringLiteral("Route"), true);
    IniWrite(ini, QStringLiteral("Remote"), QStringLiteral("Path"), QStringLiteral("20"));

    NoteDialogs dialogs;
    MainForm form(StartupInfo{program, app.applicationFilePath(), {}});
    form.Form_Load();
    form.show();
    QTest::mouseClick(form.TestQLX, Qt::LeftButton);
    const QList<QListWidgetItem*> items = form.QLXFiles->findItems(QString::fromLatin1(Shown), Qt::MatchExactly);
    if (!form.Connected || items.isEmpty())
        return fail(QStringLiteral("the window did not list the simulated tester's hardcopies"));
    QTest::mouseClick(form.QLXFiles->viewport(), Qt::LeftButton, {},
                      form.QLXFiles->visualItemRect(items.first()).center());
    if (!QTest::qWaitFor([&] { return !form.Bild->picture().isNull(); }, 10000))
        return fail(QStringLiteral("the hardcopy was not shown"));
    if (!dialogs.first.isEmpty())
        return fail(QStringLiteral("a message came up: ") + dialogs.first);
    QApplication::processEvents();
    if (!form.grab().save(app.arguments()[1]))
        return fail(QStringLiteral("cannot write ") + app.arguments()[1]);
    form.close();
    return 0;
}
