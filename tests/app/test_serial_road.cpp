// The whole road on the serial line in the real window, the faults a user meets on the way, and
// the folder picker itself. The simulated tester's bus log tells what went out on the line.
#include "app/mainform_colours.h"
#include "app/iniio.h"
#include "app/mainform.h"
#include "pcfiles/mainform_pcfilelist.h"
#include "wmf/wmfclipboard.h"
#include "platform/pictureview.h"

#include "tests/support/scripted_dialogs.h"
#include "tests/support/simulated_tester.h"
#include "tests/support/wmfbuilder.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeView>

using namespace qlx;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QByteArray metafile(int size)
{
    return WmfBuilder()
        .window(0, 0, size, size)
        .pen(0, 1, Qt::red)
        .select(0)
        .rect(10, 10, size - 10, size - 10)
        .bytes();
}
QStringList items(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}
QStringList titles(const ScriptedDialogs& dialogs)
{
    QStringList out;
    for (const ShownMessage& m : dialogs.shown)
        out << m.title;
    return out;
}
void clickRow(QListWidget* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}
QByteArray clipboardWmf()
{
    return QGuiApplication::clipboard()->mimeData()->data(QString::fromLatin1(wmf::WmfMimeType));
}
QRgb statusColour(const MainForm& form) { return form.Status->palette().color(QPalette::Window).rgb() & 0xFFFFFF; }
// A value the window kept in its settings file; `kind` gives its type.
QVariant setting(const QTemporaryDir& programDir, const char* section, const char* key,
                 const QVariant& kind = QString())
{
    return IniRead(programDir.filePath("QLXCopy.INI"), section, key, {}, kind);
}
} // namespace

class RoadTest : public QObject {
    Q_OBJECT

    // The window on the serial line at `device`, storing into `pc`.
    static std::unique_ptr<MainForm> openForm(const QTemporaryDir& programDir, ScriptedDialogs& dialogs,
                                              const QString& pc, const QString& device)
    {
        auto form =
            std::make_unique<MainForm>(StartupInfo{programDir.path(), QCoreApplication::applicationFilePath(), {}});
        form->Form_Load();
        form->Route[1]->click();
        form->AdrC->setText(device);
        dialogs.folders << pc;
        form->ImgPath->click();
        return form;
    }

private slots:
    void serialRoad()
    {
        SimulatedTester tester;
        const QByteArray a = metafile(100), b = metafile(200);
        tester.addFile("A.WMF", a);
        tester.addFile("b.wmf", b);
        tester.addFile("HC 1.WMF", metafile(300));
        const QString device = tester.startSerial();
        QVERIFY(!device.isEmpty());
        QTemporaryDir programDir, pc;
        writeFile(pc.filePath("b.wmf"), "older");
        const QString gone = pc.filePath("gone");
        QVERIFY(QDir().mkpath(gone));
        ScriptedDialogs dialogs;
        auto form = openForm(programDir, dialogs, gone, device);
        qsizetype mark = 0;
        const auto added = [&] { // what went out since the previous look
            const QStringList log = tester.busLog();
            const QStringList out = log.mid(mark);
            mark = log.size();
            return out;
        };
        form->TestQLX->click();
        QCOMPARE(form->Status->text(), QString("connected"));
        QCOMPARE(items(form->QLXFiles), QStringList({"A.WMF", "b.wmf", "HC 1.WMF"}));
        QCOMPARE(added(),
                 QStringList({"*SEC 0\\n", "*IDN?\\n", "MMEM:CDIR \"\\\\USERDATA\\\\PRINT\"\\n", "MMEM:SCAN?\\n"}));

        // The PC folder vanishes behind the window's back: one message, and an empty PC list.
        QVERIFY(QDir(gone).removeRecursively());
        clickRow(form->QLXFiles, 0);
        QCOMPARE(titles(dialogs), QStringList{"ERROR"});
        QVERIFY(dialogs.shown[0].text.startsWith("The file " + gone + "/A.WMF could not be written: "));
        QVERIFY(!QFileInfo::exists(gone));
        form->FileLocation[1]->click();
        QCOMPARE(form->PCFileList->count(), 0);
        form->FileLocation[0]->click();
        dialogs.shown.clear();
        dialogs.folders << pc.path();
        form->ImgPath->click();
        added();

        // A click on the name, here the one still selected: the file arrives whole, is shown and
        // is on the clipboard.
        clickRow(form->QLXFiles, 0);
        QCOMPARE(added(), QStringList{"MMEM:DATA? \"A.WMF\"\\n"});
        QCOMPARE(readAll(pc.filePath("A.WMF")), a);
        QVERIFY(form->Bild->isVisible() && !form->TextDisp->isVisible());
        QCOMPARE(clipboardWmf(), a);
        QVERIFY(form->Status->text().endsWith(" s to go ..."));
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.shown.value(0).text));

        // A different copy on the PC: the question names it and the folder; Yes replaces it.
        dialogs.answers << AnswerYes;
        clickRow(form->QLXFiles, 1);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text,
                 "A different file b.wmf does already exist in directory " + pc.path() + ".\r\nOverwrite?");
        QCOMPARE(dialogs.shown[0].style, int(MbExclamationYesNo));
        QCOMPARE(readAll(pc.filePath("b.wmf")), b);

        // The Delete key on a selected name with a blank in it.
        clickRow(form->QLXFiles, 2);
        dialogs.shown.clear();
        added();
        QTest::keyClick(form->QLXFiles, Qt::Key_Delete);
        QCOMPARE(dialogs.shown.value(0).text, QString("Delete file HC 1.WMF ?"));
        QCOMPARE(added(), QStringList({"MMEM:DEL \"HC 1.WMF\",INT\\n", "MMEM:CDIR \"\\\\USERDATA\\\\PRINT\"\\n",
                                       "MMEM:SCAN?\\n"}));
        QCOMPARE(items(form->QLXFiles), QStringList({"A.WMF", "b.wmf"}));

        // Copy-all: the PC copy of A.WMF that went missing comes back; the identical b.wmf asks nothing.
        QFile::remove(pc.filePath("A.WMF"));
        dialogs.shown.clear();
        form->CopyAll->click();
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(added(), QStringList({"MMEM:DATA? \"A.WMF\"\\n", "MMEM:DATA? \"b.wmf\"\\n"}));
        QCOMPARE(readAll(pc.filePath("A.WMF")), a);
        QCOMPARE(form->Status->text(), QString("ready"));
        QCOMPARE(statusColour(*form), kGreen);

        // Delete-all: No sends nothing; Yes deletes each one and reads the directory again.
        dialogs.answers = {AnswerNo};
        form->DeleteAll->click();
        QCOMPARE(form->QLXFiles->count(), 2);
        dialogs.answers = {AnswerYes};
        form->DeleteAll->click();
        QCOMPARE(titles(dialogs), QStringList({"DELETE ALL", "DELETE ALL"}));
        QCOMPARE(added(), QStringList({"MMEM:DEL \"A.WMF\",INT\\n", "MMEM:DEL \"b.wmf\",INT\\n",
                                       "MMEM:CDIR \"\\\\USERDATA\\\\PRINT\"\\n", "MMEM:SCAN?\\n"}));
        QCOMPARE(form->QLXFiles->count(), 0);
        QVERIFY(QDir(tester.printDir).isEmpty());

        // The PC list: a click shows the file and puts it on the clipboard.
        form->FileLocation[1]->click();
        QCOMPARE(items(form->PCFileList), QStringList({"A.WMF", "b.wmf", "HC 1.WMF"}));
        QGuiApplication::clipboard()->clear();
        clickRow(form->PCFileList, 1);
        QCOMPARE(clipboardWmf(), b);

        // Closing goes to local and keeps the settings.
        form->close();
        QTRY_COMPARE(tester.busLog().mid(mark), QStringList{"*GTL\\n"});
        QCOMPARE(setting(programDir, "Path", "FilePath"), QVariant(pc.path()));
        QCOMPARE(setting(programDir, "Remote", "Path"), QVariant(device));
        QCOMPARE(setting(programDir, "Remote", "Route", true), QVariant(false));
    }

    // The tester falls silent or talks nonsense at connect, or the line breaks off, falls silent
    // or talks nonsense in a transfer: the window says so once, the older PC copy stays as it was,
    // the line stays in step, and on a sound line a later transfer arrives whole.
    void faults_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("firstMessage");
        const QString advice = cableAdviceText(Bus::Serial);
        QTest::newRow("connect, silent") << QStringList{"--fault", "silent"} << advice;
        QTest::newRow("connect, garbage") << QStringList{"--fault", "garbage"} << advice;
        QTest::newRow("cut mid-block") << QStringList{"--fault", "stop-mid-block"} << advice;
        QTest::newRow("silent") << QStringList{"--fault", "silent:MMEM:DATA?"} << advice;
        QTest::newRow("garbage") << QStringList{"--fault", "garbage:MMEM:DATA?"} << advice;
        QTest::newRow("garbage, paced") << QStringList{"--fault", "garbage:MMEM:DATA?", "--baud", "19200"} << advice;
    }
    void faults()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, firstMessage);
        const bool atConnect = QByteArray(QTest::currentDataTag()).startsWith("connect");
        SimulatedTester tester;
        const QByteArray a = metafile(100);
        tester.addFile("A.WMF", a);
        tester.addFile("B.WMF", metafile(4000));
        QTemporaryDir programDir, pc;
        writeFile(pc.filePath("B.WMF"), "older copy");
        ScriptedDialogs dialogs;
        auto form = openForm(programDir, dialogs, pc.path(), tester.startSerial(options));
        form->TestQLX->click();
        if (atConnect) {
            // Silence gives the advice for the time-out and again for the missing identity.
            const bool silent = QByteArray(QTest::currentDataTag()).contains("silent");
            QCOMPARE(titles(dialogs), silent ? QStringList({"ERROR", "ERROR"}) : QStringList{"ERROR"});
            for (const ShownMessage& m : dialogs.shown)
                QCOMPARE(m.text, firstMessage);
            QCOMPARE(form->Status->text(), QString("not connected"));
            QCOMPARE(statusColour(*form), kRed);
            QVERIFY(!form->Connected && !form->CopyAll->isEnabled() && form->QLXFiles->count() == 0);
        } else {
            // Without a PC copy: the advice, then that there is no PC copy to show.
            clickRow(form->QLXFiles, 0);
            QCOMPARE(titles(dialogs), QStringList({"ERROR", "FILE NOT FOUND ON PC"}));
            QCOMPARE(dialogs.shown[0].text, firstMessage);
            QCOMPARE(dialogs.shown[1].text, "Error reading file " + pc.filePath("A.WMF") + " from harddisc!");
            QCOMPARE(form->Status->text(), QString("CONNECTION BROKEN!"));
            // With one: the advice, then the older copy, which holds no metafile.
            dialogs.shown.clear();
            clickRow(form->QLXFiles, 1);
            QCOMPARE(titles(dialogs), QStringList({"ERROR", "ERROR"}));
            QCOMPARE(dialogs.shown[0].text, firstMessage);
            QCOMPARE(dialogs.shown[1].text, "The file " + pc.filePath("B.WMF")
                                                + " cannot be shown: it is no Windows Metafile or it is damaged.");
            QCOMPARE(form->Status->text(), QString("CONNECTION BROKEN!"));
            QCOMPARE(statusColour(*form), kRed);
            QCOMPARE(QDir(pc.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"B.WMF"});
            QCOMPARE(readAll(pc.filePath("B.WMF")), QByteArray("older copy"));
            // The next exchange on the same line gets its own answer.
            dialogs.shown.clear();
            QTest::keyClick(form->QLXFiles, Qt::Key_Delete);
            QCOMPARE(titles(dialogs), QStringList{"DELETE FILE"});
            QCOMPARE(items(form->QLXFiles), QStringList{"A.WMF"});
        }
        tester.stopSerial();
        form->AdrC->setText(tester.startSerial());
        form->TestQLX->click();
        QCOMPARE(form->Status->text(), QString("connected"));
        clickRow(form->QLXFiles, 0);
        QCOMPARE(readAll(pc.filePath("A.WMF")), a);
        QCOMPARE(statusColour(*form), kGreen);
        form->close();
    }

    // Nonsense for a listing from a tester that can change its directory: no names and no
    // message, as for an empty answer; a later listing on a sound line fills the list.
    void garbageListing()
    {
        SimulatedTester tester;
        tester.addFile("A.WMF", metafile(100));
        QTemporaryDir programDir, pc;
        ScriptedDialogs dialogs;
        auto form = openForm(programDir, dialogs, pc.path(), tester.startSerial({"--fault", "garbage:MMEM:SCAN?"}));
        form->TestQLX->click();
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(form->Status->text(), QString("connected"));
        QCOMPARE(form->QLXFiles->count(), 0);
        tester.stopSerial();
        form->AdrC->setText(tester.startSerial());
        form->TestQLX->click();
        QCOMPARE(items(form->QLXFiles), QStringList{"A.WMF"});
        QVERIFY(form->CopyAll->isEnabled());
        form->close();
    }

    // While a transfer waits on the line, clicks and keys start nothing; closing ends the wait
    // (Copy-all finishes the file in progress), goes to local and keeps the settings.
    void closeDuringATransferWait_data()
    {
        QTest::addColumn<bool>("copyAll");
        QTest::newRow("click") << false;
        QTest::newRow("copy-all") << true;
    }
    void closeDuringATransferWait()
    {
        QFETCH(bool, copyAll);
        SimulatedTester tester;
        tester.addFile("A.WMF", "a");
        tester.addFile("B.WMF", "b");
        QTemporaryDir programDir, pc;
        ScriptedDialogs dialogs;
        auto form = openForm(programDir, dialogs, pc.path(), tester.startSerial({"--fault", "silent:MMEM:DATA?"}));
        form->TestQLX->click();
        const qsizetype mark = tester.busLog().size();
        bool acted = false;
        QTimer::singleShot(100, form.get(), [&] {
            QVERIFY(form->exchangeInProgress());
            for (QPushButton* button : {form->TestQLX, form->CopyAll, form->DelThis, form->DeleteAll, form->ImgPath})
                button->click();
            QTest::keyClick(form->QLXFiles, Qt::Key_Delete);
            clickRow(form->QLXFiles, 1);
            form->close();
            acted = true;
        });
        if (copyAll)
            form->CopyAll->click();
        else
            clickRow(form->QLXFiles, 0);
        QVERIFY(acted);
        QTRY_VERIFY(!form->isVisible());
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.shown.value(0).text));
        QCOMPARE(dialogs.pickerTitles.size(), 1); // the one before the wait
        QTRY_COMPARE(tester.busLog().mid(mark), QStringList({"MMEM:DATA? \"A.WMF\"\\n", "*GTL\\n"}));
        QVERIFY(QDir(pc.path()).isEmpty());
        QCOMPARE(setting(programDir, "Path", "FilePath"), QVariant(pc.path()));
    }

    // The real folder picker behind "File Path on PC": rooted at "/", the current folder selected,
    // the two-line title; OK gives the chosen folder, Cancel nothing.
    void folderPicker()
    {
        QTemporaryDir programDir;
        const QString sub = programDir.filePath("sub");
        QVERIFY(QDir().mkpath(sub));
        MainForm form({programDir.path(), QCoreApplication::applicationFilePath(), {}});
        form.Form_Load();
        QCOMPARE(form.PCPath, programDir.path());
        const auto answer = [&](const QString& choose, QDialogButtonBox::StandardButton button) {
            QTimer::singleShot(0, &form, [&, choose, button] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                const auto dismiss = qScopeGuard([dialog] {
                    if (dialog->isVisible())
                        dialog->reject();
                });
                auto* tree = dialog->findChild<QTreeView*>();
                auto* model = qobject_cast<QFileSystemModel*>(tree->model());
                QCOMPARE(dialog->findChild<QLabel*>()->text(),
                         "Set store path for QLX images\nCurrent Path: " + form.PCPath);
                QCOMPARE(model->rowCount(tree->rootIndex()), 1);
                QCOMPARE(model->filePath(model->index(0, 0, tree->rootIndex())), QString("/"));
                QCOMPARE(model->filePath(tree->currentIndex()), form.PCPath);
                QVERIFY(tree->selectionModel()->isSelected(tree->currentIndex()));
                QVERIFY(tree->isExpanded(tree->currentIndex().parent()));
                if (!choose.isEmpty())
                    tree->setCurrentIndex(model->index(choose));
                dialog->findChild<QDialogButtonBox*>()->button(button)->click();
            });
        };
        answer(sub, QDialogButtonBox::Ok);
        form.ImgPath->click();
        QCOMPARE(form.PCPath, sub);
        QCOMPARE(form.PCFileList->path(), sub);
        answer(programDir.path(), QDialogButtonBox::Cancel);
        form.ImgPath->click();
        QCOMPARE(form.PCPath, sub);
        form.close();
    }
};

QTEST_MAIN(RoadTest)
#include "test_serial_road.moc"
